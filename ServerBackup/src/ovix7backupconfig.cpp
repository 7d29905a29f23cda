// ovix7backupconfig: the backup configuration wizard. It asks the Ovix
// Server which roles this server carries, asks the administrator what to
// back up, where to and when, and writes the answers as the backup
// configuration file that the daemon reads on its next wake-up.
//
// The file is replaced only when the whole dialogue is done: until then the
// new text waits in a temporary file beside it, so that a dialogue that ends
// early (end of input, Ctrl-C, a closed terminal) leaves the previous
// configuration in force.
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "XMLParser.h"
#include "answerreader.h"
#include "backupconfig.h"
#include "backupset.h"
#include "command.h"
#include "extractToken.h"
#include "ovixconfig.h"
#include "ovixserver.h"
#include "pendingfile.h"
#include "sysutil.h"
#include "wizardchecks.h"

namespace msg {
const char* const kVersion = "Kestrun Ver 1.00.0011";
const char* const kHistory[] = {
    "Kestrun Ver 1.00.0011 (New folder structure support added, IDN support is added )",
    "Kestrun Ver 1.00.0010 (backup webspace is made optional, backup purge facility is "
    "provided, chroot dns backup is supported, local backup of webspace is improved, IPV6 "
    "support is added, acl permissions backup/restore for ftp users is changed now acl is not "
    "backed up and during restore acl are set only for ftp users on their home directory, "
    "During restore permissions on standard website folders are improved so that ftp user "
    "should not be able to delete log or httpd folders, ACL permissions for apache user are set "
    "on html and special folders )",
    "Kestrun Ver 1.00.0009 (Ovix7 changed to Ovix8 in Kestrun)",
    "Kestrun Ver 1.00.0008 (Postfix backup and restore)",
    "Kestrun Ver 1.00.0007 (Exim backup and restore)",
    "Kestrun Ver 1.00.0006 (Remote backup issue is resolved)",
    "Kestrun Ver 1.00.0005 (Restore of RubyOnRails)",
    "Kestrun Ver 1.00.0004 (Backup and Restore of AWStats)",
    "Kestrun Ver 1.00.0003 (qmail backup & restore and sendmail restore issues are resolved)",
    "Kestrun Ver 1.00.0001 (Smart backup and restore utility)",
};
const char* const kInvalidArgument = "Invalid argument use --version to find version of Kestrun";
const char* const kInvalidArgumentCount =
    "Invalid number of rguments use --version to find version of Kestrun";

const char* const kBannerNotice = "This wizard writes the backup configuration of this server";
const char* const kBannerWelcome = "Welcome to Ovix Server Backup ver 1.00.0011";
const char* const kBannerSupport = "For support contact your hosting provider";

const char* const kNoServerIP = "Cannot find Ovix Server IP";
const char* const kRolesTitle = "Backup Roles and Services";
const char* const kNoConnection =
    "Cannot connect with Ovix Server to find Roles ( Ovix Server IP = ";
const char* const kNoConnectionEnd = ")";
const char* const kNoRoles = "No server role found for backup";
const char* const kRolesIntro = "Backup will be taken for roles";
const char* const kWebRole = "\t-Web Server";
const char* const kMailRole = "\t-Mail Server";
const char* const kDNSRole = "\t-DNS Server";
const char* const kDatabaseRole = "\t-Database Server";

const char* const kWebspacePrompt = "Do you want to backup webspace (yes/no): ";
const char* const kWebspaceWrong = "wrong input";
const char* const kFilterIntro =
    "Enter file extensions that are not to be backed up like *.log (Only one file filter at a "
    "time)";
const char* const kFilterPrompt = "Enter the File Filter (Press Enter for no file filter): ";
const char* const kAnotherFilterPrompt = "Do you want to enter another file filter(yes/no): ";

const char* const kLocationTitle = "Backup Location";
const char* const kLocationQuestion = "Where backup should be saved?";
const char* const kLocalChoice = "1 for local";
const char* const kRemoteChoice = "2 for remote(FTP)";
const char* const kChoicePrompt = "Enter your choice: ";
const char* const kWrongInput = "Wrong Input";
const char* const kLocalPathIntro = "Specify local folder path (Default is /usr/local/OvixBackup/)";
const char* const kLocalPathPrompt = "Press Enter for default or specify local folder location: ";
const char* const kPathDoesNotExist = "Path does not exist";
const char* const kFtpServerPrompt = "Enter FTP Server IP: ";
const char* const kFtpPortIntro = "Enter FTP Server Port (Default is 21)";
const char* const kFtpPortPrompt = "Press Enter for default or specify port: ";
const char* const kFtpUserPrompt = "Enter FTP UserName: ";
const char* const kFtpPasswordPrompt = "Enter Password: ";

const char* const kNoInsFolder = "Cannot find Ovix Installation path";
const char* const kCannotOpenConf = "can't open configuration file";
const char* const kCannotWriteConf = "can't write configuration file";

const char* const kScheduleTitle = "Backup Schedule";
const char* const kScheduleIntro[] = {
    "There are three types of scheduling daily, weekly and monthly.",
    "1 for daily: You will specify only time of day when backup should take place.",
    "2 for weekly: You will specify weekday and time of day when backup should take place.",
    "3 for monthly: You will specify day of month and time of day when backup should take place",
    "",
    "",
};
const char* const kScheduleWrong = "Wrong Input\n1 for daily\n2 for weekly\n3 for monthly";
const char* const kWeekDays[] = {
    "Weekday choices are ", "0 for Sunday ",   "1 for Monday ", "2 for Tuesday ",
    "3 for Wednesday ",     "4 for Thrusday ", "5 for Friday ", "6 for Saturday ",
};
const char* const kWeekDayWrong = "\nWrong Input";
const char* const kTimeRange = "Hour range is 0-23 and Minutes range is 0-59";
const char* const kTimePrompt = "Enter backup time (hh:mm): ";
const char* const kWeeklyTimePrompt = "Enter backup time (hh:mm) :  ";
const char* const kMonthDayPrompt = "Enter day of month (1-28): ";

const char* const kPurgeQuestion = "Do you want to purge previously taken backups(yes/no)";
const char* const kPurgeDays = "Purge after days(1-30)";
}  // namespace msg

namespace {

constexpr int kExitOk = 0;
constexpr int kExitNoRoles = 255;
// The dialogue ended before it was complete: end of input, or the file could
// not be written. The previous configuration stays.
constexpr int kExitIncomplete = 1;

constexpr std::size_t kBannerWidth = 67;
// The file holds the FTP password in clear text.
constexpr mode_t kConfFileMode = 0600;

const char* const kYes = "yes";

// ---- cleaning up after an interruption --------------------------------
// A signal that ends the wizard must not leave the terminal without echo or
// a temporary configuration file behind. Only async-signal-safe calls here.

struct termios gSavedTerminal;
volatile sig_atomic_t gTerminalSaved = 0;
const char* volatile gPendingPath = nullptr;

void onInterrupt(int signo) {
    if (gTerminalSaved) {
        ::tcsetattr(STDIN_FILENO, TCSANOW, &gSavedTerminal);
    }
    const char* path = gPendingPath;
    if (path != nullptr) {
        ::unlink(path);
    }
    ::signal(signo, SIG_DFL);
    ::raise(signo);
}

void installInterruptHandlers() {
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    for (int signo : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        ::sigaction(signo, &action, nullptr);
    }
}

// Keeps the password off the screen while it is typed on a terminal; the
// line end is still echoed. Nothing happens when input is not a terminal.
class EchoOff {
public:
    EchoOff() {
        if (::tcgetattr(STDIN_FILENO, &gSavedTerminal) != 0) {
            return;
        }
        struct termios quiet = gSavedTerminal;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        gTerminalSaved = 1;
        ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    ~EchoOff() {
        if (gTerminalSaved) {
            ::tcsetattr(STDIN_FILENO, TCSANOW, &gSavedTerminal);
            gTerminalSaved = 0;
        }
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;
};

// Lets the interrupt handler remove a pending file while it is registered.
class RemoveOnInterrupt {
public:
    explicit RemoveOnInterrupt(const PendingFile& file) { gPendingPath = file.tempPath().c_str(); }
    ~RemoveOnInterrupt() { release(); }
    void release() { gPendingPath = nullptr; }
    RemoveOnInterrupt(const RemoveOnInterrupt&) = delete;
    RemoveOnInterrupt& operator=(const RemoveOnInterrupt&) = delete;
};

// ---- screen ------------------------------------------------------------

void say(const std::string& line) {
    std::cout << line << '\n';
}

void clearScreen() {
    std::cout << std::flush;
    // Whatever clear makes of the terminal, the dialogue goes on.
    Command("clear").run();
}

std::string bannerLine(const std::string& text) {
    const std::size_t inner = kBannerWidth - 4;  // "*  " before, "*" after
    return "*  " + text + std::string(inner > text.size() ? inner - text.size() : 0, ' ') + "*";
}

void showBanner() {
    say("/" + std::string(kBannerWidth - 1, '*'));
    say(bannerLine(msg::kBannerNotice));
    say(bannerLine(msg::kBannerWelcome));
    say(bannerLine(msg::kBannerSupport));
    say(bannerLine(""));
    say(std::string(kBannerWidth - 1, '*') + "/");
}

void showHeading(const std::string& title) {
    say(title);
    say(std::string(title.size(), '*'));
}

// A new screen: cleared, with the banner and, when given, a heading.
void newScreen(const char* title = nullptr) {
    clearScreen();
    showBanner();
    if (title != nullptr) {
        showHeading(title);
    }
}

// ---- questions ---------------------------------------------------------

using Check = std::function<bool(const std::string&)>;

struct Question {
    std::vector<std::string> preamble;  // lines printed before every prompt
    std::string prompt;
    std::string refusal = msg::kWrongInput;  // printed after a refused answer
};

class Answers {
public:
    Answers() : reader_(STDIN_FILENO) {}

    // Prints prompt and reads one answer; a secret is not echoed.
    AnswerReader::Result ask(const std::string& prompt, std::string& answer, bool secret = false) {
        std::optional<EchoOff> quiet;
        if (secret) {
            quiet.emplace();  // before the prompt, so that nothing typed is echoed
        }
        std::cout << prompt << std::flush;
        return reader_.next(answer);
    }

    // Asks until accept takes an answer, which goes to answer. An over-long
    // answer is refused without a look. False at the end of input.
    bool askUntil(const Question& question, const Check& accept, std::string& answer,
                  bool secret = false) {
        for (;;) {
            for (const std::string& line : question.preamble) {
                say(line);
            }
            std::string given;
            AnswerReader::Result result = ask(question.prompt, given, secret);
            if (result == AnswerReader::Result::End) {
                return false;
            }
            if (result == AnswerReader::Result::Answer && accept(given)) {
                answer = given;
                return true;
            }
            say(question.refusal);
        }
    }

private:
    AnswerReader reader_;
};

bool acceptAny(const std::string&) {
    return true;
}

// ---- the dialogue ------------------------------------------------------

// The Ovix Server's address; the install folder is looked up first.
std::string getOvixServerIP() {
    std::string insFolder;
    if (getParamFromOvixConfFile(OVIXCONFFILE, insFolder, "InsFolder") != OVIXCONF_FOUND) {
        say(msg::kNoServerIP);
        return "";
    }
    return ::getOvixServerIP(insFolder);
}

// Asks the Ovix Server for the roles of this server. False when the dialogue
// ends here, with status set to the exit status.
bool askServerRoles(const std::string& serverIP, BackupConfig& config, int& status) {
    OvixServerExchange exchange;
    if (!exchange.connect(serverIP)) {
        say(msg::kNoConnection + serverIP + msg::kNoConnectionEnd);
        status = kExitOk;
        return false;
    }
    int result = exchange.ask("GetServerRoles", kGreetingSize, false);
    if (result == OVIX_MALFORMED) {
        std::cout << std::flush;
        std::cerr << exchange.parseError() << std::flush;
        status = XML_PARSE_EXIT_STATUS;
        return false;
    }
    // A wrong action, no entries or no answer at all: nothing names a role.
    bool isRoleFound = result == OVIX_OK && applyServerRoles(exchange.entries(), config);
    if (!isRoleFound) {
        say(msg::kNoRoles);
        status = kExitNoRoles;
        return false;
    }
    return true;
}

void showRoles(const BackupConfig& config) {
    say(msg::kRolesIntro);
    const std::pair<const std::string*, const char*> roles[] = {
        {&config.backupWebserver, msg::kWebRole},
        {&config.backupMailServer, msg::kMailRole},
        {&config.backupDNSServer, msg::kDNSRole},
        {&config.backupDatabaseServer, msg::kDatabaseRole},
    };
    for (const auto& [flag, line] : roles) {
        if (*flag == kYes) {
            say(line);
        }
    }
}

bool askFileFilters(Answers& answers, BackupConfig& config) {
    say("");
    say(msg::kFilterIntro);
    say("");
    for (;;) {
        std::string filter;
        // Anything but a filter ends the entry; a filter must fit the file.
        Check fits = [](const std::string& a) { return !isFileFilter(a) || canStoreValue(a); };
        if (!answers.askUntil({{}, msg::kFilterPrompt}, fits, filter)) {
            return false;
        }
        if (!isFileFilter(filter)) {
            return true;
        }
        config.fileFilter.push_back(filter);
        std::string another;
        if (!answers.askUntil({{}, msg::kAnotherFilterPrompt}, acceptAny, another)) {
            return false;
        }
        if (!beginsWithYes(another)) {
            return true;
        }
    }
}

bool askWebspace(Answers& answers, BackupConfig& config) {
    std::string answer;
    if (!answers.askUntil({{}, msg::kWebspacePrompt, msg::kWebspaceWrong}, isYesOrNo, answer)) {
        return false;
    }
    config.backupWebspace = equalsIgnoreCase(answer, kYes) ? "yes" : "no";
    return config.backupWebspace != kYes || askFileFilters(answers, config);
}

// The default backup folder, created if need be (its parent must exist) and
// given to root. False when it cannot be made so.
bool makeDefaultBackupFolder() {
    const char* folder = kDefaultBackupPath;
    return createBackupFolder(folder) && isDirectory(folder) && giveBackupFolderToRoot(folder);
}

// Takes a local folder answer into backupPath; returns the message for an
// answer that is refused, or nullptr.
const char* takeLocalFolder(const std::string& answer, std::string& backupPath) {
    if (answer.empty()) {
        if (!makeDefaultBackupFolder()) {
            return msg::kPathDoesNotExist;
        }
        backupPath = kDefaultBackupPath;
        return nullptr;
    }
    const std::string folder = backupFolderPath(answer);
    if (!isUsableBackupPath(folder)) {
        return msg::kWrongInput;
    }
    if (!isDirectory(folder)) {
        return msg::kPathDoesNotExist;
    }
    backupPath = folder;
    return nullptr;
}

bool askLocalFolder(Answers& answers, BackupConfig& config) {
    for (;;) {
        say(msg::kLocalPathIntro);
        std::string answer;
        AnswerReader::Result result = answers.ask(msg::kLocalPathPrompt, answer);
        if (result == AnswerReader::Result::End) {
            return false;
        }
        const char* refusal = result == AnswerReader::Result::TooLong
                                  ? msg::kWrongInput
                                  : takeLocalFolder(answer, config.backupPath);
        if (refusal == nullptr) {
            return true;
        }
        say(refusal);
    }
}

bool askFtpAccount(Answers& answers, BackupConfig& config) {
    Check address = [](const std::string& a) {
        return !a.empty() && isValidIP(a) && canStoreValue(a);
    };
    Check port = [](const std::string& a) { return canStoreValue(ftpPortValue(a)); };
    Check text = [](const std::string& a) { return !a.empty() && canStoreValue(a); };
    std::string portAnswer;
    if (!answers.askUntil({{}, msg::kFtpServerPrompt}, address, config.ftpServer) ||
        !answers.askUntil({{msg::kFtpPortIntro}, msg::kFtpPortPrompt}, port, portAnswer)) {
        return false;
    }
    config.ftpPort = ftpPortValue(portAnswer);
    return answers.askUntil({{}, msg::kFtpUserPrompt}, text, config.ftpUserName) &&
           answers.askUntil({{}, msg::kFtpPasswordPrompt}, text, config.ftpPassword, true);
}

bool askLocation(Answers& answers, BackupConfig& config) {
    newScreen(msg::kLocationTitle);
    say(msg::kLocationQuestion);
    std::string choice;
    Check isChoice = [](const std::string& a) { return locationChoice(a) != kChoiceNone; };
    if (!answers.askUntil({{msg::kLocalChoice, msg::kRemoteChoice}, msg::kChoicePrompt}, isChoice,
                          choice)) {
        return false;
    }
    if (locationChoice(choice) == kChoiceLocal) {
        config.backupType = "local";
        return askLocalFolder(answers, config);
    }
    config.backupType = "remote";
    return askFtpAccount(answers, config);
}

bool askTime(Answers& answers, const char* prompt, BackupConfig& config) {
    Check isTime = [](const std::string& a) { return isValidTime(a) && canStoreValue(a); };
    return answers.askUntil({{msg::kTimeRange}, prompt}, isTime, config.backupTime);
}

bool askSchedule(Answers& answers, BackupConfig& config) {
    newScreen(msg::kScheduleTitle);
    for (const char* line : msg::kScheduleIntro) {
        say(line);
    }
    std::string choice;
    Check isChoice = [](const std::string& a) { return scheduleChoice(a) != kChoiceNone; };
    if (!answers.askUntil({{}, msg::kChoicePrompt, msg::kScheduleWrong}, isChoice, choice)) {
        return false;
    }
    switch (scheduleChoice(choice)) {
        case kChoiceDaily:
            config.backupScheduleType = "daily";
            return askTime(answers, msg::kTimePrompt, config);
        case kChoiceWeekly: {
            newScreen();
            config.backupScheduleType = "weekly";
            const Question weekDay = {{std::begin(msg::kWeekDays), std::end(msg::kWeekDays)},
                                      msg::kChoicePrompt,
                                      msg::kWeekDayWrong};
            return answers.askUntil(weekDay, isValidWeekDay, config.backupWeekDay) &&
                   askTime(answers, msg::kWeeklyTimePrompt, config);
        }
        default:
            config.backupScheduleType = "monthly";
            return answers.askUntil({{}, msg::kMonthDayPrompt}, isValidMonthDay,
                                    config.backupMonthDay) &&
                   askTime(answers, msg::kTimePrompt, config);
    }
}

bool askPurge(Answers& answers, BackupConfig& config) {
    newScreen();
    say(msg::kPurgeQuestion);
    std::string answer;
    Check isAnswer = [](const std::string& a) { return purgeAnswer(a) != PurgeAnswer::Neither; };
    if (!answers.askUntil({{}, msg::kChoicePrompt}, isAnswer, answer)) {
        return false;
    }
    if (purgeAnswer(answer) != PurgeAnswer::Yes) {
        return true;
    }
    say("");
    say(msg::kPurgeDays);
    Check isDays = [](const std::string& a) { return purgeDays(a) != 0; };
    if (!answers.askUntil({{}, msg::kChoicePrompt}, isDays, answer)) {
        return false;
    }
    config.purgeTime = purgeDays(answer);
    return true;
}

int runDialogue() {
    const std::string OvixServerIP = getOvixServerIP();
    if (OvixServerIP.empty()) {
        say(msg::kNoServerIP);
        return kExitOk;
    }
    newScreen(msg::kRolesTitle);
    BackupConfig config;
    int status = kExitOk;
    if (!askServerRoles(OvixServerIP, config, status)) {
        return status;
    }
    showRoles(config);

    Answers answers;
    if ((config.backupWebserver == kYes && !askWebspace(answers, config)) ||
        !askLocation(answers, config)) {
        return kExitIncomplete;
    }

    std::string insFolderPath;
    if (getParamFromOvixConfFile(OVIXCONFFILE, insFolderPath, "InsFolder") != OVIXCONF_FOUND) {
        say(msg::kNoInsFolder);
        return kExitOk;
    }
    const std::string filePath = insFolderPath + kBackupConfFile;
    PendingFile file;
    if (!file.open(filePath, kConfFileMode)) {
        say(msg::kCannotOpenConf);
        return kExitOk;
    }
    RemoveOnInterrupt cleanup(file);
    if (!askSchedule(answers, config) || !askPurge(answers, config)) {
        return kExitIncomplete;
    }
    cleanup.release();
    if (!file.commit(buildConfPacket(config) + "\n")) {
        say(msg::kCannotWriteConf);
        return kExitIncomplete;
    }
    return kExitOk;
}

int showInformation(const std::string& argument) {
    if (equalsIgnoreCase(argument, "--version")) {
        say(msg::kVersion);
    } else if (equalsIgnoreCase(argument, "--history")) {
        for (const char* line : msg::kHistory) {
            say(line);
        }
    } else {
        say(msg::kInvalidArgument);
    }
    return kExitOk;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc == 2) {
        return showInformation(argv[1]);
    }
    if (argc > 2) {
        say(msg::kInvalidArgumentCount);
        return kExitOk;
    }
    installInterruptHandlers();
    return runDialogue();
}
