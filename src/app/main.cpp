// SPDX-License-Identifier: GPL-3.0-or-later
// The program: a tray icon with a panel of per-application volumes.
//
//   morvale                 runs at the user's desktop, on the audio server
//   morvale --open-panel    the same, and opens the panel at once
//   morvale --audio-backend=pipewire|pulse
//                           uses native PipeWire or the PulseAudio protocol
//                           (MORVALE_AUDIO_BACKEND does the same); by default
//                           native PipeWire when its daemon answers
//   morvale --demo          runs over a simulated audio system with made-up
//                           applications, keeping its settings in memory
//   morvale --demo --screenshot panel.png
//                           writes a picture of the demo's panel and ends
//   morvale COMMAND ...     controls the running Morvale over the session bus
//                           ("morvale set firefox -5%"; see CommandLine.h)
//
// A start while the program already runs opens the running one's panel.
// Commands, --help and --version need no display: they run before, and
// instead of, the interface's application object.

#include <QApplication>
#include <QCommandLineParser>
#include <QDBusConnection>
#include <QIcon>
#include <QMenu>
#include <QProcess>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/AudioBackendChoice.h"
#include "app/DemoSystem.h"
#include "app/Screenshot.h"
#include "app/SingleInstance.h"
#include "app/control/CommandLine.h"
#include "app/control/ControlService.h"
#include "model/Model.h"
#include "model/SessionWorker.h"
#include "platform/qt/QuitOnSignals.h"
#include "ui/Accessibility.h"
#include "ui/ContentView.h"
#include "ui/MorvaleApp.h"
#include "ui/PanelWindow.h"
#include "ui/Translations.h"
#ifdef MORVALE_HAVE_PULSE
#include "app/LinuxSystem.h"
#endif
#ifdef MORVALE_HAVE_PIPEWIRE_MEMORY
#include <string_view>

#include "platform/pipewire/memory/GainWatchdog.h"
#endif

namespace {

using namespace morvale;

const QString appId = QStringLiteral("io.github.morvale.Morvale");

struct Options {
    bool demo = false;
    bool openPanel = false;
    QString screenshot;
};

// The names every start gives itself, with or without an interface; the
// version line also says which sound server interface is in use.
void nameApplication(const app::AudioBackendChoice& audioBackend) {
    QCoreApplication::setApplicationName(QStringLiteral("morvale"));
    QCoreApplication::setApplicationVersion(QStringLiteral(MORVALE_VERSION "\n") +
                                            app::audioBackendLine(audioBackend));
}

// Asked only for --help or --version: answered without a display.
bool wantsInformation(const QStringList& arguments) {
    static const QStringList asking{QStringLiteral("-h"), QStringLiteral("--help"),
                                    QStringLiteral("-?"), QStringLiteral("--help-all"),
                                    QStringLiteral("-v"), QStringLiteral("--version")};
    for (const QString& argument : arguments) {
        if (argument == QStringLiteral("--")) {
            break;
        }
        if (asking.contains(argument)) {
            return true;
        }
    }
    return false;
}

// The program's options. Made before the application object too, to tell
// what the arguments ask for; their texts are translated only after it.
struct OptionParser {
    QCommandLineParser parser;
    const QCommandLineOption demo{
        QStringLiteral("demo"),
        QCoreApplication::translate("main", "Run over a simulated audio system.")};
    const QCommandLineOption openPanel{QStringLiteral("open-panel"),
                                       QCoreApplication::translate("main", "Open the panel.")};
    const QCommandLineOption screenshot{
        QStringLiteral("screenshot"),
        QCoreApplication::translate("main", "Write a picture of the panel to <file> and end."),
        //: The value's name in the help, as in "--screenshot <file>".
        QCoreApplication::translate("main", "file")};
    const QCommandLineOption audioBackend{
        QStringLiteral("audio-backend"),
        QCoreApplication::translate("main",
                                    "Use the sound server through <backend>: pipewire or pulse."),
        //: The value's name in the help, as in "--audio-backend <backend>".
        QCoreApplication::translate("main", "backend")};

    OptionParser() {
        parser.setApplicationDescription(
            QCoreApplication::translate("main", "A volume slider for every application.") +
            QStringLiteral("\n\n") + control::CommandLine::help());
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOptions({demo, openPanel, screenshot, audioBackend});
        parser.addPositionalArgument(
            QStringLiteral("command"),
            QCoreApplication::translate("main",
                                        "A command (listed above), for the running Morvale."),
            QStringLiteral("[command]"));
    }
};

// Whether the arguments start the interface: not for a command, --help or
// --version, nor for words after the options, which are a misplaced command
// (the answer to them needs no display either).
bool startsInterface(const QStringList& arguments) {
    if (control::CommandLine::isCommand(arguments) || wantsInformation(arguments)) {
        return false;
    }
    // Arguments the parser does not know may be Qt's own ("-platform xcb"),
    // which the interface's application object takes out.
    OptionParser options;
    return !options.parser.parse(arguments) || options.parser.positionalArguments().isEmpty();
}

Options parse(const QCoreApplication& app) {
    OptionParser options;
    options.parser.process(app);
    const QStringList words = options.parser.positionalArguments();
    if (!words.isEmpty()) {
        // A command is the first argument; after options it would be ignored.
        std::fprintf(stderr, "morvale: %s\n",
                     qPrintable(QCoreApplication::translate(
                                    "main", "a command comes first, as in: morvale %1")
                                    .arg(words.join(QLatin1Char(' ')))));
        std::exit(control::CommandLine::usage);
    }
    return {options.parser.isSet(options.demo), options.parser.isSet(options.openPanel),
            options.parser.value(options.screenshot)};
}

// A command, --help or --version: no interface, no display.
int runWithoutInterface(int argc, char** argv, const std::vector<std::string>& given) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    // Only --version asks the sound server which interface it would use.
    const bool asksVersion = arguments.contains(QStringLiteral("--version")) ||
                             arguments.contains(QStringLiteral("-v"));
    const bool command = control::CommandLine::isCommand(arguments);
    nameApplication(asksVersion && !command ? app::chooseAudioBackendAtStart(given)
                                            : app::AudioBackendChoice{});
    const ui::Translations translations;
    if (control::CommandLine::isCommand(arguments)) {
        return control::CommandLine::run(arguments);
    }
    parse(app);  // prints what was asked for, or what is wrong, and ends
    return 0;
}

// Tells the user on standard error.
void complain(const QString& message) {
    std::fprintf(stderr, "morvale: %s\n", qPrintable(message));
}

// Starts the program again, with the arguments this one was given, as a new
// process (this one then ends the normal way). Used when a tray appeared that
// Qt can only use from a fresh start; the environment tells the new start not
// to do so again.
bool startAgain(const std::vector<std::string>& arguments) {
    QStringList rest;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        rest << QString::fromLocal8Bit(arguments[i].c_str());
    }
    QProcess process;
    process.setProgram(QCoreApplication::applicationFilePath());
    process.setArguments(rest);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("MORVALE_RESTARTED"), QStringLiteral("1"));
    process.setProcessEnvironment(environment);
    return process.startDetached();
}

// The demo's switch for its voice call, on top of the tray icon's menu and as
// Ctrl+T in the panel.
void addCallSwitch(ui::MorvaleApp& app, app::DemoSystem& demo) {
    auto* toggle = new QAction(QCoreApplication::translate("main", "Demo: voice call"), &app);
    toggle->setCheckable(true);
    toggle->setChecked(demo.callActive());
    toggle->setShortcut(QKeySequence(QStringLiteral("Ctrl+T")));
    toggle->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(toggle, &QAction::toggled, &demo, [&demo](bool on) {
        demo.setCallActive(on);
        Model::shared().refresh();
    });
    QMenu* menu = app.trayMenu();
    QAction* first = menu->actions().value(0);
    menu->insertAction(first, toggle);
    menu->insertSeparator(first);
    app.panelWindow()->addAction(toggle);
}

}  // namespace

int main(int argc, char** argv) {
#ifdef MORVALE_HAVE_PIPEWIRE_MEMORY
    // The gain watchdog is this program too: it ends here, before any Qt object.
    if (argc == 2 && std::string_view(argv[1]).starts_with(pipewire::kCleanupOption)) {
        return pipewire::runCleanupCommand(argv[1]);
    }
#endif
    // As given, before Qt takes out the arguments that are its own.
    const std::vector<std::string> arguments(argv, argv + argc);
    const bool restarted = qEnvironmentVariableIsSet("MORVALE_RESTARTED");
    qunsetenv("MORVALE_RESTARTED");

    {
        QStringList given;
        for (const std::string& argument : arguments) {
            given << QString::fromLocal8Bit(argument.c_str());
        }
        if (!startsInterface(given)) {
            return runWithoutInterface(argc, argv, arguments);
        }
    }

    QApplication app(argc, argv);
    ui::installAccessibility();  // before anything asks for the application's tree
    // Chosen ahead of parsing, so that --version tells which is used.
    const app::AudioBackendChoice audioBackend = app::chooseAudioBackendAtStart(arguments);
    nameApplication(audioBackend);
    QApplication::setApplicationDisplayName(QStringLiteral("Morvale"));
    QApplication::setDesktopFileName(appId);
    QApplication::setWindowIcon(QIcon::fromTheme(appId, QIcon(QStringLiteral(":/app/icon.svg"))));
    // The panel window closing is not the end: the tray icon stays.
    QApplication::setQuitOnLastWindowClosed(false);
    const ui::Translations translations;
    const Options options = parse(app);

    // Building the platform would already touch the audio server, so a second
    // start hands over to the running instance before anything else.
    std::unique_ptr<app::SingleInstance> instance;
    if (options.screenshot.isEmpty()) {
        instance = std::make_unique<app::SingleInstance>(
            options.demo ? appId + QStringLiteral(".Demo") : appId);
        if (!instance->claim()) {
            if (instance->askRunningInstanceToOpen()) {
                return 0;
            }
            complain(
                QCoreApplication::translate("main", "another instance runs but does not answer"));
            return 1;
        }
    }

    std::unique_ptr<app::DemoSystem> demo;
#ifdef MORVALE_HAVE_PULSE
    // Outlives the backend, whose gains it undoes should the program die.
    std::unique_ptr<app::GainGuard> gainGuard;
    std::unique_ptr<app::LinuxSystem> linuxSystem;
#endif
    // Starts, changes and ends the tap sessions off the GUI thread. It goes
    // before the audio system it calls and the main queue it answers on.
    std::unique_ptr<SessionWorker> sessionWorker;
    if (options.demo) {
        demo = std::make_unique<app::DemoSystem>();
        demo->setCallActive(true);
        sessionWorker = std::make_unique<SessionWorker>(demo->platform().mainQueue);
        Model::configure(demo->platform(), *sessionWorker);
    } else {
#ifdef MORVALE_HAVE_PULSE
        if (const QString problem = app::audioBackendProblem(audioBackend); !problem.isEmpty()) {
            complain(problem);
        }
        gainGuard = app::guardPipeWireGains(audioBackend);
        linuxSystem = std::make_unique<app::LinuxSystem>(
            appId, QCoreApplication::applicationFilePath(), audioBackend.backend,
            gainGuard ? gainGuard->journalPath() : std::string());
        sessionWorker = std::make_unique<SessionWorker>(linuxSystem->platform().mainQueue);
        Model::configure(linuxSystem->platform(), *sessionWorker);
#else
        complain(
            QCoreApplication::translate("main", "built without the audio backend; try --demo"));
        return 1;
#endif
    }
    Model& model = Model::shared();

    if (!options.screenshot.isEmpty()) {
        ui::ContentView view(model);
        if (!app::saveScreenshot(view, options.screenshot, 2.0)) {
            complain(
                QCoreApplication::translate("main", "could not write %1").arg(options.screenshot));
            return 1;
        }
        model.stopAll();
        return 0;
    }

    qt::QuitOnSignals quitOnSignals;
    ui::MorvaleApp tray(model, !restarted);
    // Scripts and key bindings reach the model here; without the bus Morvale
    // still runs, and the commands say they find none.
    control::ControlService service(model);
    if (const QString failure = service.publish(QDBusConnection::sessionBus());
        !failure.isEmpty()) {
        complain(failure);
    }
    bool restartWanted = false;
    QObject::connect(&tray, &ui::MorvaleApp::restartRequested, &tray, [&restartWanted] {
        restartWanted = true;
        ui::MorvaleApp::quit();
    });
    QObject::connect(instance.get(), &app::SingleInstance::openRequested, &tray,
                     &ui::MorvaleApp::openPanel);
#ifdef MORVALE_HAVE_PULSE
    if (linuxSystem) {
        // A server that comes or goes shows at once, not at the next refresh.
        QObject::connect(linuxSystem.get(), &app::LinuxSystem::audioConnectionChanged, &tray,
                         [] { Model::shared().refresh(); });
    }
#endif
    if (demo) {
        addCallSwitch(tray, *demo);
    }
    if (options.openPanel) {
        QTimer::singleShot(0, &tray, &ui::MorvaleApp::openPanel);
    }

    const int status = QApplication::exec();

    // The termination hook queued the stopping of every tap session while the
    // loop ended; run what is queued, and stop them here in any case, before
    // the audio system goes away.
    QCoreApplication::sendPostedEvents();
    model.stopAll();
    if (restartWanted) {
        instance.reset();  // the new start is to be the running instance
        if (!startAgain(arguments)) {
            complain(QCoreApplication::translate("main", "could not start again"));
            return 1;
        }
    }
    return status;
}
