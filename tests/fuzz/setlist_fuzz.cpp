// Arbitrary bytes as a folder's set list, loaded the way the data folder is at launch. The
// folder also holds a history file and one other set file, so lines that name them load real
// archives. Every alert takes its default button; nothing may crash, hang or read astray.
#include "DefaultDelegate.h"
#include "model/PasteDataCoding.h"
#include "platform/Alert.h"
#include "window/PasteWindow.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

namespace {

struct Fixture {
    QTemporaryDir folder;
    DefaultDelegate delegate;
    PasteWindow window;
};
Fixture* fixture = nullptr;

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

QByteArray oneClipping() {
    PasteDataList list;
    list.push_back(std::make_unique<PasteData>());
    list.back()->setContents(QStringLiteral("text"));
    list.back()->setExtraData(std::nullopt, 0);
    return archivePasteData(list);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QApplication(*argc, *argv);
    Alert::setResponder([](const Alert::Request&) { return Alert::DefaultReturn; });
    fixture = new Fixture;
    const QString dir = fixture->folder.path();
    writeFile(dir + u'/' + PasteWindow::kHistoryName + PasteWindow::kSetFileSuffix, oneClipping());
    writeFile(dir + QStringLiteral("/Set.KVdata"), oneClipping());
    fixture->window.initWindow(&fixture->delegate);
    fixture->window.getWindow();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString dir = fixture->folder.path();
    writeFile(dir + u'/' + PasteWindow::kListFileName,
              QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    fixture->window.loadData(true, dir);
    // Whatever the list said, the set array keeps its history set first.
    if (fixture->window.pasteArray().empty() ||
        fixture->window.pasteArray().front()->name() != PasteWindow::kHistoryName)
        __builtin_trap();
    return 0;
}
