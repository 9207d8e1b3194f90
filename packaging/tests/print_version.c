/* A program of another project: prints the library's version. Plain C99, so
 * the header is checked as a C header too. */
#include <stdio.h>
#include <zarni_compress.h>

int main(void) {
    printf("%u\n", (unsigned)ZarniVersion());
    return 0;
}
