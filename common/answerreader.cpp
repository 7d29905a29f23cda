#include "answerreader.h"

#include "sysutil.h"

namespace {

// A terminal hands over one line per read; a pipe may hand over many.
constexpr std::size_t kChunkSize = 4096;

}  // namespace

AnswerReader::AnswerReader(int fd, std::size_t maxLength) : fd_(fd), maxLength_(maxLength) {}

bool AnswerReader::fill() {
    if (end_) {
        return false;
    }
    char chunk[kChunkSize];
    ssize_t n = readSome(fd_, chunk, sizeof chunk);
    if (n <= 0) {
        end_ = true;
        return false;
    }
    buffer_.append(chunk, static_cast<std::size_t>(n));
    return true;
}

AnswerReader::Result AnswerReader::next(std::string& answer) {
    answer.clear();
    bool skipping = false;  // inside a line that is too long
    for (;;) {
        std::size_t lineFeed = buffer_.find('\n');
        if (lineFeed != std::string::npos) {
            bool tooLong = skipping || lineFeed > maxLength_;
            if (!tooLong) {
                answer.assign(buffer_, 0, lineFeed);
            }
            buffer_.erase(0, lineFeed + 1);
            return tooLong ? Result::TooLong : Result::Answer;
        }
        if (buffer_.size() > maxLength_) {
            // Keep no more of an over-long line than it takes to find its end.
            buffer_.clear();
            skipping = true;
        }
        if (!fill()) {
            if (skipping) {
                return Result::TooLong;
            }
            if (buffer_.empty()) {
                return Result::End;
            }
            answer.swap(buffer_);
            buffer_.clear();
            return Result::Answer;
        }
    }
}
