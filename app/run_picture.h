// The picture of a monitoring run: drawn and written as PNG beside its
// protocol file, on a thread of its own so that neither a tick nor the exit
// waits for it. A picture that cannot be written is simply not there.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "protocol/run_record.h"

constexpr int kRunPictureWidth = 1200;
constexpr int kRunPictureHeight = 400;

// The picture's words, in the program's language.
struct RunPictureTexts {
    std::string title;
    std::string level;
    std::string threshold;
    std::string alarmCall;
    std::string troubleCall;
    std::string failedCall;
};

class RunPictures {
public:
    RunPictures() = default;
    ~RunPictures();
    RunPictures(const RunPictures&) = delete;
    RunPictures& operator=(const RunPictures&) = delete;

    // Starts writing the run's picture to run->picture.
    void Write(std::unique_ptr<RunRecord> run, RunPictureTexts texts);
    // Waits at most `ms` for the pictures still being written.
    void Finish(DWORD ms);

private:
    std::vector<HANDLE> writers;
};
