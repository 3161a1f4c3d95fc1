#pragma once
// Time-limited socket operations of the download engine. Every wait polls in
// 10 ms steps, so stop requests and time-outs have a 10 ms grain.
#include <atomic>
#include <functional>
#include <string>
#include <string_view>

#include "platform/Sockets.hpp"

namespace lumivox::online {

inline constexpr int kPollStepMs = 10;

// Codes of the engine's own (socket errors are the negative Winsock numbers).
inline constexpr int kWaitFailed = -5;
inline constexpr int kSendNotReady = -6;
inline constexpr int kReceiveTimeout = -10;
inline constexpr int kConnectTimeout = -11;
inline constexpr int kConnectStopped = -20;
inline constexpr int kPeerClosed = -22;
inline constexpr int kSocketState = -3;

// The stop requests a wait looks at: the worker's own and the task's.
struct StopFlags {
    const std::atomic<bool>* worker = nullptr;
    const std::atomic<bool>* task = nullptr;
    bool stopped() const {
        return (worker != nullptr && worker->load()) || (task != nullptr && task->load());
    }
};

// Called with the size of every read while receiving data that counts as progress.
using ByteCounter = std::function<void(long bytes)>;

// 0 connected, -11 time-out, -20 stopped, -5 a socket error while waiting, or
// the code of a connect that failed at once.
int connectWithTimeout(platform::SocketHandle socket, const std::string& address, int port,
                       int timeoutMs, const StopFlags& stop);

// Bytes sent by one send call, or a negative code (-6 not writable in time,
// -5 the wait failed, -20 stopped while waiting).
long sendWithTimeout(platform::SocketHandle socket, int timeoutMs, std::string_view text,
                     const StopFlags& stop = {});

// Reads until `wanted` bytes have arrived in `buffer`, at most `chunk` per read,
// or until a stop, or after `readLimit` reads (0: no limit). Returns the bytes
// received, or a negative code: -10 no data for longer than `timeoutMs`, -5 the
// wait failed, -22 the peer closed, or the socket error. `received` always
// holds the bytes that did arrive.
long receiveWithTimeout(platform::SocketHandle socket, const StopFlags& stop, long wanted,
                        long chunk, int timeoutMs, char* buffer, int readLimit,
                        const ByteCounter* counter, long& received);

}  // namespace lumivox::online
