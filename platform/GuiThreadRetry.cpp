#include "platform/GuiThread.hpp"

namespace lumivox::platform {

void retryOnGuiThread(int tries, int everyMs, std::function<bool()> attempt) {
    if (tries <= 0 || attempt()) {
        return;
    }
    if (tries > 1) {
        runOnGuiThreadLater(everyMs, [tries, everyMs, attempt = std::move(attempt)]() mutable {
            retryOnGuiThread(tries - 1, everyMs, std::move(attempt));
        });
    }
}

}  // namespace lumivox::platform
