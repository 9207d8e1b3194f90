// The text the user reads for an Outcome: its entry in the core's message
// table with the argument filled in. Empty when there is nothing to say.
#pragma once

#include <QDir>
#include <QFile>
#include <QString>

#include "core/hex.h"
#include "core/outcome.h"

namespace korvale {

// A file name as the user knows it.
inline QString shownFileName(const std::string& path) {
    return QDir::toNativeSeparators(QFile::decodeName(QByteArray::fromStdString(path)));
}

inline QString messageText(const Outcome& o) {
    const MessageText message = messageFor(o.status);
    if (!message.text) return {};
    const QString text = QString::fromUtf8(message.text);
    switch (message.arg) {
        case MessageArg::None:
            return text;
        case MessageArg::Detail:
            return text.arg(QString::fromStdString(o.detail));
        case MessageArg::File:
            return text.arg(shownFileName(o.detail));
        case MessageArg::Decimal:
            return text.arg(o.value);
        case MessageArg::Hex:
            return text.arg(QString::number(o.value, 16).toUpper());
        case MessageArg::Hex2:
            return text.arg(QString::fromStdString(HexPad(static_cast<int32_t>(o.value), 2)));
        case MessageArg::FileAndReason:
            return text.arg(shownFileName(o.detail), QString::fromStdString(o.reason));
    }
    return text;
}

}  // namespace korvale
