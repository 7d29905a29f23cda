// The checks the configuration wizard puts its answers through, and the
// small rewrites it makes before storing them. Pure functions of the answer.
#ifndef SERVERBACKUP_WIZARDCHECKS_H
#define SERVERBACKUP_WIZARDCHECKS_H

#include <string>

// True for a time of day "hh:mm": digits only on either side of the first
// ":" (an empty side counts as 0), hour at most 23, minute at most 59. 7:5,
// 07:05 and 12: are valid; 24:00, 12:60, 1200 and -1:30 are not. A side of
// more than four digits is refused: the scheduler reads no more and would
// never find the time due.
bool isValidTime(const std::string& time);

// True when the text passes the FTP server address check: at most three
// ".", and every piece between them read as a leading decimal number (as
// atoi reads it, so a piece without digits is 0) from 0 to 255. Host names
// of up to four words pass.
bool isValidIP(const std::string& ip);

// The leading decimal number of text as atoi reads it (leading white space
// and a sign allowed, no digits gives 0), except that values beyond the
// range of long are clamped instead of overflowing.
long leadingNumber(const std::string& text);

// True when value, written as a parameter of the configuration file, reads
// back unchanged through the XML command reader. The file format has no
// escape, so values shorter than two bytes, values holding "]]>" or a "]"
// after their first character (the reader splits character data there),
// control characters or bytes that are not UTF-8 do not.
bool canStoreValue(const std::string& value);

// The webspace question: "yes" or "no", ignoring case.
bool isYesOrNo(const std::string& answer);

// True when the answer begins with "yes", ignoring case.
bool beginsWithYes(const std::string& answer);

// The purge question: the answer begins with "yes" or with "no".
enum class PurgeAnswer { Yes, No, Neither };
PurgeAnswer purgeAnswer(const std::string& answer);

// The purge age from its answer's leading number: 1 to 30, or 0 when the
// answer is refused.
int purgeDays(const std::string& answer);

// Menu answers. The location menu looks at the first character only (1x is
// local); the schedule menu takes exactly one digit.
constexpr int kChoiceNone = 0;
constexpr int kChoiceLocal = 1;
constexpr int kChoiceRemote = 2;
constexpr int kChoiceDaily = 1;
constexpr int kChoiceWeekly = 2;
constexpr int kChoiceMonthly = 3;
int locationChoice(const std::string& answer);
int scheduleChoice(const std::string& answer);

// Exactly one digit, 0 (Sunday) to 6.
bool isValidWeekDay(const std::string& answer);

// Digits only, from 1 to 28.
bool isValidMonthDay(const std::string& answer);

// A file filter begins with "."; any other answer ends the filter entry.
bool isFileFilter(const std::string& answer);

// The backup folder for an entered path: the path with "/" appended unless
// it ends with one.
std::string backupFolderPath(const std::string& answer);

// True when folder can be stored as the backup location: absolute (the
// daemon does not run in the wizard's working folder) and storable.
bool isUsableBackupPath(const std::string& folder);

// The port to store for an answer: "21" for an empty answer, a one-digit
// port with a "0" in front (the file cannot carry one character), any other
// answer as it stands.
std::string ftpPortValue(const std::string& answer);

#endif
