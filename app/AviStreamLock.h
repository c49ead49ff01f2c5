#pragma once
// Makes writing a recording frame (streaming thread) and closing the recording's streams
// (user-interface thread) mutually exclusive. Lives for the whole process.

#include <mutex>

inline std::mutex& AviStreamLock()
{
    static std::mutex lock;
    return lock;
}
