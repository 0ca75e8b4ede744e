// An in-process instrument whose answers come from the fuzzer's input. Once its output is used up
// it says nothing, so the caller's read times out on the virtual clock.
#pragma once

#include "visa/device.h"

#include <algorithm>
#include <string>

class AnswerDevice : public qx::visa::Device {
public:
    // perQuery: each query (a message holding '?') sends the next line of `answers`; otherwise all
    // of `answers` waits to be read at once. Reads hand out at most `piece` bytes (0: all there
    // is) and, when `end`, END with the output's last byte.
    void load(std::string_view answers, bool perQuery, std::size_t piece = 0, bool end = true)
    {
        answers_ = perQuery ? answers : std::string_view();
        output_ = perQuery ? std::string_view() : answers;
        input_.clear();
        perQuery_ = perQuery, piece_ = piece, end_ = end;
    }
    bool write(std::string_view bytes, bool end) override
    {
        input_.append(perQuery_ ? bytes : std::string_view());
        if (perQuery_ && end && !input_.ends_with('\n'))
            input_ += '\n';
        for (std::size_t nl; (nl = input_.find('\n')) != std::string::npos; input_.erase(0, nl + 1)) {
            // A query takes the next line with its line feed (the wrap-around gives 0 when none is left).
            const std::size_t n = input_.find('?') < nl ? std::min(answers_.find('\n'), answers_.size() - 1) + 1 : 0;
            output_.append(answers_, 0, n);
            answers_.erase(0, n);
        }
        return true;
    }
    qx::visa::DeviceRead read(std::size_t max) override
    {
        qx::visa::DeviceRead r;
        if (output_.empty())
            return r; // silent
        r.status = qx::visa::DeviceRead::Status::Data;
        r.bytes = output_.substr(0, std::min(max, piece_ == 0 ? output_.size() : piece_));
        output_.erase(0, r.bytes.size());
        r.end = end_ && output_.empty();
        return r;
    }
    void clear() override { input_.clear(), output_.clear(); }

private:
    std::string answers_, input_, output_;
    bool perQuery_ = true, end_ = true;
    std::size_t piece_ = 0;
};
