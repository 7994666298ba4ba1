#include "rtfreader.h"

#include <QGuiApplication>
#include <QTextDocument>

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Text documents measure fonts, which needs the application object.
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QTextDocument document;
    const QByteArray input(reinterpret_cast<const char *>(data), int(size));
    RtfReader::read(input, &document);
    // Lay the result out as the help view would.
    document.setTextWidth(305);
    (void)document.size();
    return 0;
}
