// Commands from the command line, sent by a second kelvrin to this running one.
#include "app/CommandLine.h"
#include "app/MyObject.h"
#include "app/PrintFolder.h"

#include "model/PasteSet.h"
#include "platform/Processes.h"
#include "window/PasteWindow.h"

InstanceChannel::Answer MyObject::answerCommand(const QByteArray& request) {
    const CommandLine command = CommandLine::fromRequest(request);
    switch (command.action()) {
    case CommandLine::Action::Show:
        Processes::activate(windowToActivate());
        return {true, {}};
    case CommandLine::Action::PasteWindow:
        pressHotKey({std::nullopt, command.argument()});
        return {true, {}};
    case CommandLine::Action::Quit:
        if (quitByUser())
            return {true, {}};
        return {false, "the quit was cancelled: the sets could not be saved"};
    case CommandLine::Action::List:
        return listSet(command.argument());
    default:
        return {false, command.argument().toUtf8()};
    }
}

InstanceChannel::Answer MyObject::listSet(const QString& name) const {
    const auto& sets = _pasteWindow->pasteArray();
    if (name.isEmpty())
        return {true, describeSet(*sets.front())};
    for (const auto& set : sets)
        if (set->name() == name)
            return {true, describeSet(*set)};
    return {false, QStringLiteral("there is no set named \"%1\"").arg(name).toUtf8()};
}
