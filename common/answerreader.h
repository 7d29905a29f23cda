// Reads the administrator's answers, one line each, from a terminal or a
// pipe. Lines are of any length up to a limit; a longer line is consumed
// whole and reported once, never cut into several answers.
#ifndef OVIX_COMMON_ANSWERREADER_H
#define OVIX_COMMON_ANSWERREADER_H

#include <cstddef>
#include <string>

// Longest answer taken, without its line feed.
constexpr std::size_t kMaxAnswerLength = 1023;

class AnswerReader {
public:
    enum class Result {
        Answer,   // answer holds the line without its line feed
        TooLong,  // the line was longer than the limit and has been skipped
        End,      // end of input (or a read error): no more answers
    };

    // Reads from fd, which stays open; nothing else may read it meanwhile,
    // as text after the current line may already be buffered here.
    explicit AnswerReader(int fd, std::size_t maxLength = kMaxAnswerLength);

    // The next answer. Text after the last line feed counts as a last answer.
    Result next(std::string& answer);

private:
    // Reads more input into buffer_; false at the end of input.
    bool fill();

    int fd_;
    std::size_t maxLength_;
    std::string buffer_;
    bool end_ = false;
};

#endif
