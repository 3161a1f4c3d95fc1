#include "online/SocketOps.hpp"

#include <algorithm>
#include <chrono>

namespace lumivox::online {

using Clock = std::chrono::steady_clock;

int connectWithTimeout(platform::SocketHandle socket, const std::string& address, int port,
                       int timeoutMs, const StopFlags& stop) {
    if (platform::setNonBlocking(socket) != 0) {
        return kSocketState;
    }
    int started = platform::startConnect(socket, address, port);
    if (started != platform::kWouldBlock) {
        return started;
    }
    const int steps = std::max(1, timeoutMs / kPollStepMs);
    for (int step = 0; step < steps; ++step) {
        if (stop.stopped()) {
            return kConnectStopped;
        }
        int ready = platform::waitSocket(socket, true, true, kPollStepMs);
        if (ready < 0 || (ready & platform::kFailed) != 0) {
            return kWaitFailed;
        }
        if (ready != 0) {
            return platform::pendingError(socket) == 0 ? 0 : kWaitFailed;
        }
    }
    return kConnectTimeout;
}

long sendWithTimeout(platform::SocketHandle socket, int timeoutMs, std::string_view text,
                     const StopFlags& stop) {
    const auto until = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    while (true) {
        if (stop.stopped()) {
            return kConnectStopped;
        }
        int ready = platform::waitSocket(socket, false, true, kPollStepMs);
        if (ready < 0) {
            return kWaitFailed;
        }
        if ((ready & platform::kWritable) != 0) {
            return platform::sendSome(socket, text.data(), text.size());
        }
        if ((ready & platform::kFailed) != 0) {
            return kWaitFailed;
        }
        if (Clock::now() >= until) {
            return kSendNotReady;
        }
    }
}

long receiveWithTimeout(platform::SocketHandle socket, const StopFlags& stop, long wanted,
                        long chunk, int timeoutMs, char* buffer, int readLimit,
                        const ByteCounter* counter, long& received) {
    received = 0;
    int reads = 0;
    auto waitingSince = Clock::now();
    while (received < wanted) {
        if (stop.stopped() || (readLimit > 0 && reads >= readLimit)) {
            break;
        }
        // Read first and wait only when nothing is there: a busy connection then
        // costs one call per read, not two.
        long n =
            platform::receiveSome(socket, buffer + received,
                                  static_cast<std::size_t>(std::min(chunk, wanted - received)));
        if (n == platform::kWouldBlock) {
            int ready = platform::waitSocket(socket, true, false, kPollStepMs);
            if (ready < 0) {
                return kWaitFailed;
            }
            if (ready == 0 && Clock::now() - waitingSince > std::chrono::milliseconds(timeoutMs)) {
                return kReceiveTimeout;
            }
            continue;
        }
        if (n == 0) {
            return kPeerClosed;
        }
        if (n < 0) {
            return n;
        }
        received += n;
        ++reads;
        waitingSince = Clock::now();
        if (counter != nullptr && *counter) {
            (*counter)(n);
        }
    }
    return received;
}

}  // namespace lumivox::online
