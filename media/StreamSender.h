#pragma once
// The live picture sent to a streaming server (nginx's RTMP module, a CDN's ingest, an SRT
// listener) as H.264, at the capture size and the rate the frames come at: RTMP addresses
// get FLV, SRT ones MPEG-TS. The server fans it out to as many viewers as it can serve.
//
// A worker thread of its own encodes and sends; it is given the newest frame (a frame
// offered while it is busy replaces the waiting one). When the server drops the connection
// or cannot be reached, the sender says so and connects again every few seconds, by itself,
// until it is stopped. Nothing here runs on the camera's thread or waits on the window's.

#include "framework/Frame.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class StreamSender {
public:
    enum class State { Connecting, Streaming, Reconnecting, Stopped };
    // Called on the worker: the new state and, for Reconnecting, the reason. Only post from it.
    using Report = std::function<void(State state, const std::string& reason)>;

    StreamSender(std::string url, Report report);
    ~StreamSender(); // stops and waits for the worker
    StreamSender(const StreamSender&) = delete;
    StreamSender& operator=(const StreamSender&) = delete;

    // Any thread.
    void Offer(SharedFrame frame);
    // Frames sent since the start (all connections).
    std::uint64_t FramesSent() const;

    // Whether an address is one this sender can send to (rtmp://, rtmps://, srt://).
    static bool IsStreamAddress(const std::string& url);
    // The address with its key (the part after the application) hidden, for messages.
    static std::string WithoutKey(const std::string& url);

private:
    class Session;
    void Work();
    bool WaitToRetry();

    const std::string url_;
    const Report report_;
    mutable std::mutex mutex_; // guards waiting_, stopping_, sent_
    std::condition_variable wake_;
    SharedFrame waiting_;
    bool stopping_ = false;
    std::uint64_t sent_ = 0;
    std::atomic<bool> halt_{false}; // stopping, for FFmpeg's blocking calls to look at
    std::thread worker_;            // last: started once everything it uses exists
};
