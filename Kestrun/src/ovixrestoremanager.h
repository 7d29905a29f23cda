// The restore tool's driver: finds the Ovix Server, shows the banner and the
// terms, asks which roles to restore from which backup set, and runs the
// role restores in the order web, database, mail, DNS. Role classes reach
// the manager through OvixRestoreManager::getPtr() for panel configuration
// lookups.
#ifndef KESTRUN_OVIXRESTOREMANAGER_H
#define KESTRUN_OVIXRESTOREMANAGER_H

#include <string>
#include <vector>

class AnswerReader;

// Results of startOvixRestore.
constexpr int RESTORE_DONE = 0;
constexpr int RESTORE_DECLINED = 1;      // terms declined, or input ended
constexpr int RESTORE_BAD_ANSWER = 255;  // an Ovix Server answer that is not XML

class OvixRestoreManager {
public:
    OvixRestoreManager();
    ~OvixRestoreManager();
    OvixRestoreManager(const OvixRestoreManager&) = delete;
    OvixRestoreManager& operator=(const OvixRestoreManager&) = delete;

    static OvixRestoreManager* getPtr();

    // Runs the whole dialogue and the restores, reading answers from
    // standard input. Returns RESTORE_DONE, RESTORE_DECLINED or
    // RESTORE_BAD_ANSWER: the program's exit status.
    int startOvixRestore();

    // Runs serviceName (a script, possibly with arguments of its own)
    // with "restart"; true when it exits with 0. pidFile is not consulted.
    bool restartService(std::string pidFile, std::string serviceName);

    // Runs a service command from the panel configuration: its words are the
    // program and its first arguments, verb the last argument. Returns the
    // exit status.
    static int runServiceCommand(const std::string& command, const std::string& verb);

    int getParamFromOvixConfFile(std::string file, std::string& ParamVal, std::string param);

private:
    // One Ovix Server question; false when no answer came. A malformed
    // answer ends the program as every interactive program does.
    bool askOvixServer(const std::string& action, std::vector<std::string>& entries,
                       bool& connected);
    // Prompts and reads one answer; false at the end of input.
    bool ask(AnswerReader& reader, const char* prompt, std::string& answer);

    int restoreWebRole(AnswerReader& reader);
    void restoreDatabaseRole();
    void restoreMailRole();
    void restoreDNSRole();

    std::string backupPath;
    std::string backupWebspacePath;
    std::string OvixServerIP;

    static OvixRestoreManager* ptr;
};

#endif
