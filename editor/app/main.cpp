// The korvale program: the main window with its palette, and optionally a
// ROM image named on the command line, opened at start.
#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QStringList>
#include <memory>

#include "core/rom_layout.h"
#include "core/track_document.h"
#include "ui/main_window.h"
#include "ui/prompter.h"

namespace {

// The Qt dialogs want the main window as their parent, and the window wants
// its prompter when it is built; this hands questions on once both exist.
class WindowPrompter : public korvale::Prompter {
  public:
    void attach(QWidget* window) { inner_ = std::make_unique<korvale::QtPrompter>(window); }
    Answer askYesNo(const QString& text) override { return inner().askYesNo(text); }
    void inform(const QString& text) override { inner().inform(text); }
    QString inputText(const QString& prompt, const QString& defaultAnswer) override {
        return inner().inputText(prompt, defaultAnswer);
    }
    QString openFileName(const QString& title, const QString& filter,
                         const QString& folder) override {
        return inner().openFileName(title, filter, folder);
    }
    QString saveFileName(const QString& title, const QString& filter,
                         const QString& folder) override {
        return inner().saveFileName(title, filter, folder);
    }

  private:
    korvale::Prompter& inner() {
        if (!inner_) inner_ = std::make_unique<korvale::QtPrompter>(nullptr);
        return *inner_;
    }
    std::unique_ptr<korvale::QtPrompter> inner_;
};

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Korvale");
    const QString title = QString::fromStdString(korvale::layout::applicationTitle());

    korvale::TrackDocument document;
    WindowPrompter prompter;
    korvale::MainWindow window(document, prompter, {});
    prompter.attach(&window);

    // Without the tile images nothing can be shown; the sheets ship beside
    // the program, so a missing one means a broken installation.
    QString error;
    if (!window.loadInitialTiles(&error)) {
        QMessageBox::critical(nullptr, title, error);
        return 1;
    }
    window.showWithPalette();

    const QStringList args = QApplication::arguments();
    if (args.size() > 1) window.openRomFile(QFileInfo(args.at(1)).absoluteFilePath());

    return QApplication::exec();
}
