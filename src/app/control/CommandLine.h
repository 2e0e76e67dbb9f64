// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QDBusError>
#include <QDBusPendingReply>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <memory>
#include <optional>
#include <span>

class Morvale1Proxy;

namespace morvale::control {

// The commands of "morvale COMMAND ...": list, get, set, mute, unmute,
// toggle-mute and boost. Each asks the running Morvale over the session bus
// (io.github.morvale.Morvale1) and prints plain text, or JSON with --json.
// They need no display and start no interface, so they run under a
// QCoreApplication.
//
// Exit statuses: 0 done; 1 no Morvale runs, or the call failed; 2 a usage
// error, or an application name that matches none or several.
class CommandLine {
    Q_DECLARE_TR_FUNCTIONS(morvale::control::CommandLine)
public:
    enum Status : int { done = 0, failed = 1, usage = 2 };

    // Whether the arguments (as main has them, the program first) ask for a
    // command: the first after the program is a word, not an option.
    static bool isCommand(const QStringList& arguments);

    // The commands and what they take, for --help.
    static QString help();

    // Runs the command in arguments (as main has them) and returns the exit
    // status. Needs the application object.
    static int run(const QStringList& arguments);

    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;
    ~CommandLine();

private:
    struct Command {
        const char* name;
        const char* operands;  // as help shows them: "APP LEVEL"
        const char* summary;   // translated when shown
        qsizetype minOperands;
        qsizetype maxOperands;
        bool json;  // takes --json
        int (CommandLine::*run)(const QStringList& operands);
    };
    // The commands, in the order help lists them. A new command is one more
    // entry here and a member that runs it.
    static std::span<const Command> commands();
    static const Command* find(const QString& name);
    static QString synopsis(const Command& command);

    CommandLine();
    int execute(QStringList words);

    int list(const QStringList& operands);
    int get(const QStringList& operands);
    int set(const QStringList& operands);
    int mute(const QStringList& operands);
    int unmute(const QStringList& operands);
    int toggleMute(const QStringList& operands);
    int boost(const QStringList& operands);
    int output(const QStringList& operands);
    int hide(const QStringList& operands);
    int setHidden(const QStringList& operands, bool hidden);
    int unhide(const QStringList& operands);

    // The rows, or none after saying why (status_ then says how it failed).
    std::optional<QList<QVariantMap>> rows();
    // The one row the name means, or none after saying why.
    std::optional<QVariantMap> resolve(const QString& query);
    // Prints the row of key as it is now: what a change ends with.
    int show(const QString& key);
    void print(const QVariantMap& row);
    // Whether the call went through; if not, says why and sets status_.
    template <typename... Types>
    bool succeeded(QDBusPendingReply<Types...>& reply) {
        reply.waitForFinished();
        if (reply.isError()) {
            reportFailure(reply.error());
            return false;
        }
        return true;
    }
    void reportFailure(const QDBusError& error);

    std::unique_ptr<Morvale1Proxy> proxy_;
    bool json_ = false;
    int status_ = done;
};

}  // namespace morvale::control
