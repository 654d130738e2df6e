#include "app/MyObject.h"

#include "platform/Alert.h"
#include "platform/Defaults.h"
#include "platform/Log.h"
#include "platform/Pasteboard.h"
#include "platform/Strings.h"
#include "window/PasteWindow.h"

MyObject::MyObject(std::unique_ptr<Defaults> defaults, std::unique_ptr<Pasteboard> pasteboard)
    : _defaults(std::move(defaults)), _pb(std::move(pasteboard)) {
    _timer.setInterval(kPollInterval);
    connect(&_timer, &QTimer::timeout, this, &MyObject::pasteboardCheck);
}

MyObject::~MyObject() = default;

void MyObject::applicationWillFinishLaunching() {
    LoadUserSettings();
    if (!_pasteWindow)
        _pasteWindow = std::make_unique<PasteWindow>();
    _pasteWindow->initWindow(this);
    _pasteWindow->showPasteWindow();
    // Whatever is on the clipboard at launch was copied before we ran: it is not captured.
    _pbCount = _pb->changeCount();
    _timer.start();
}

unsigned MyObject::applicationShouldTerminate() {
    _pasteWindow->pasteWindowOrderOut();
    SaveUserSettings();
    return 1;
}

void MyObject::applicationWillTerminate() { _timer.stop(); }

void MyObject::pasteboardCheck() {
    // A modal alert or folder panel holds the poll back, as it holds back the user; the first
    // tick afterwards sees every change made meanwhile.
    if (Alert::isApplicationModalUp())
        return;
    const qint64 count = _pb->changeCount();
    if (count == _pbCount)
        return;
    _pasteWindow->addPasteDataCheck(*_pb, true, true, 0);
    if (count > _pbCount + 1)
        Log::write(Strings::format(
            QStringLiteral(
                "warning*** : [drop paste board data !!!!!!!!!!!!] count[%ld] _pbCount[%ld]"),
            {count, _pbCount}));
    // Set whether or not a clipping was made: a content that cannot be read is not tried again.
    _pbCount = count;
}
