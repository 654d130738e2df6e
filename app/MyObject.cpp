#include "app/MyObject.h"

#include "model/ExtraType.h"
#include "model/PasteData.h"
#include "platform/Alert.h"
#include "platform/AtomicFile.h"
#include "platform/Defaults.h"
#include "platform/FolderPanel.h"
#include "platform/Log.h"
#include "platform/Pasteboard.h"
#include "platform/Strings.h"
#include "window/PasteWindow.h"

#include <QGuiApplication>

MyObject::MyObject(std::unique_ptr<Defaults> defaults, std::unique_ptr<Pasteboard> pasteboard)
    : _defaults(std::move(defaults)), _pb(std::move(pasteboard)) {
    _timer.setInterval(kPollInterval);
    connect(&_timer, &QTimer::timeout, this, &MyObject::pasteboardCheck);
    _comingToFront.setSingleShot(true);
    _comingToFront.setInterval(kActivationSettles);
    connect(&_comingToFront, &QTimer::timeout, this, &MyObject::activationSettled);
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) {
                if (!_pasteWindow)
                    return;
                if (state == Qt::ApplicationActive)
                    applicationWillBecomeActive();
                else
                    applicationWillResignActive();
            });
}

MyObject::~MyObject() = default;

void MyObject::applicationWillFinishLaunching() {
    LoadUserSettings();
    // Only the running instance launches, and it has written nothing yet: a temporary file in
    // its data folder is what a save cut short by a crash or a power cut left.
    AtomicFile::removeLeftovers(_nssInitialFolder);
    // Whatever is on the clipboard at launch was copied before we ran: it is not captured. Taken
    // before the window loads the sets, so that a copy made while an alert about them waits for
    // the user is.
    _pbCount = _pb->changeCount();
    if (!_pasteWindow)
        _pasteWindow = std::make_unique<PasteWindow>();
    _pasteWindow->initWindow(this);
    makeMenus();
    _pasteWindow->showPasteWindow();
    if (_bOfferDataFolder && _nssInitialFolder.isEmpty())
        offerDataFolder();
    makeHotKey();
    _timer.start();
    resetSendPSN();
}

unsigned MyObject::applicationShouldTerminate() {
    // A picture copied just before the quit is still being read: it is saved with the rest.
    _pasteWindow->finishPendingCaptures();
    QString erroString;
    if (!_pasteWindow->saveData(_nssInitialFolder, erroString, false)) {
        const int answer = Alert::run(
            Strings::localized(QStringLiteral("TerminateSaveErrorTitle")),
            Strings::localizedFormat(QStringLiteral("TerminateSaveErrorMessage"), {erroString}),
            Strings::localized(QStringLiteral("TerminateSaveErrorButton1")),
            Strings::localized(QStringLiteral("TerminateSaveErrorButton2")), Alert::DefaultReturn);
        // Staying changes nothing: the settings stay unsaved and the poll keeps running.
        if (answer == Alert::DefaultReturn)
            return 0;
    }
    _pasteWindow->pasteWindowOrderOut();
    SaveUserSettings();
    unInstallHotKey();
    return 1;
}

bool MyObject::quitByUser() {
    if (!_quitting && applicationShouldTerminate() == 1) {
        _quitting = true;
        QCoreApplication::quit();
    }
    return _quitting;
}

void MyObject::endSession() {
    if (!_quitting)
        sessionShouldTerminate();
    _quitting = true;
    QCoreApplication::quit();
}

void MyObject::sessionShouldTerminate() {
    Alert::answerEverythingSafely();
    FolderPanel::cancelEverything();
    commitData();
    _pasteWindow->pasteWindowOrderOut();
    unInstallHotKey();
}

void MyObject::commitData() {
    _pasteWindow->finishPendingCaptures();
    QString erroString;
    // The session is ending: the message is for the log alone.
    const Strings::InEnglish forTheLog;
    if (!_pasteWindow->saveData(_nssInitialFolder, erroString, false))
        Log::write(Strings::format(QStringLiteral("warning*** :[commitData] [sets not saved: %@]"),
                                   {erroString}));
    SaveUserSettings();
}

void MyObject::applicationWillTerminate() {
    _timer.stop();
}

void MyObject::pasteboardCheck() {
    if (_bAutosave)
        _pasteWindow->autosaveCheck(_nssInitialFolder, PasteWindow::Clock::now());
    // A modal alert or folder panel, or a drag of rows, holds the poll back, as it holds back
    // the user; the first tick afterwards sees every change made meanwhile.
    if (_pasteWindow->capturesHeld())
        return;
    _pasteWindow->enterReadyCaptures();
    const qint64 count = _pb->changeCount();
    if (count == _pbCount) {
        if (_goneContent)
            keepGoneContent();
        return;
    }
    if (count > _pbCount + 1)
        Log::write(Strings::format(
            QStringLiteral(
                "warning*** : [drop paste board data !!!!!!!!!!!!] count[%ld] _pbCount[%ld]"),
            {count, _pbCount}));
    // Set whether or not a clipping is made: a content that cannot be read is not tried again.
    _pbCount = count;
    _goneContent = _pb->contentGoneWithOwner();
    // What the program that quit had was captured already, or refused (a secret, which the
    // desktop's copy no longer marks): the copy is neither captured nor replaced by ours.
    if (_pb->contentTakenOverByKeeper() == count)
        return;
    if (_goneContent)
        keepGoneContent();
    else
        _pasteWindow->addPasteDataCheck(*_pb, true, true, 0);
}

void MyObject::keepGoneContent() {
    // A picture of that content may still be on its way into the history.
    if (_pasteWindow->hasPendingCaptures())
        return;
    const qint64 gone = *std::exchange(_goneContent, std::nullopt);
    if (!_bKeepClipboard)
        return;
    if (const PasteData* head = _pasteWindow->headCapturedAt(gone))
        writeToPasteboard(*head);
}
