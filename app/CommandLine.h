#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

class InstanceChannel;

// What Kelvrin is asked on its command line: to run, to ask the running instance for something,
// or to print something and end.
class CommandLine {
public:
    enum class Action { Run, Show, PasteWindow, Quit, List, PrintFolder, Help, Version, Wrong };

    // Reads the arguments that follow the program's name.
    static CommandLine parse(const QStringList& arguments);

    Action action() const { return _action; }
    // The set of --list (empty for the history), the folder of --print-folder, the activation
    // token of --paste-window, or what was wrong.
    const QString& argument() const { return _argument; }

    // Sends the command to the running instance and prints its answer on standard output, or
    // the trouble on standard error: the process's exit status, 0 when it was done.
    int sendToInstance() const;
    // Makes this process the one running Kelvrin of its user through the channel, unless one
    // runs already: then that one brings its window forward. Nothing when this process is to
    // run; otherwise its exit status, the trouble told on standard error.
    static std::optional<int> claimInstance(InstanceChannel& channel);
    // Prints the help, the version or the usage error: the process's exit status.
    int print() const;

    // The request the running instance answers, and how it reads one: the action (Show,
    // PasteWindow, Quit or List, else Wrong) and its argument.
    QByteArray request() const;
    static CommandLine fromRequest(const QByteArray& request);

private:
    CommandLine(Action action, QString argument = {})
        : _action(action), _argument(std::move(argument)) {}

    Action _action;
    QString _argument;
};
