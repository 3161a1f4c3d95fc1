#include "app/UpdateHandOver.hpp"

#include <string>

#include "hotkeys/HotkeyPhrases.hpp"
#include "online/Update.hpp"
#include "platform/GuiThread.hpp"

namespace lumivox {

void handOverToUpdates(Forms& forms, std::string_view mainLayout,
                       std::function<void()> stopChannel, std::function<void()> startChannel) {
    online::setUpdateHandOver(
        {[stopChannel] {
             // Off the GUI thread: the channel's worker may be handing an action
             // to the GUI thread, and is joined here.
             if (stopChannel) {
                 stopChannel();
             }
             platform::runOnGuiThread([] { hotkeyPhraseSender().letGoOfHotkeys(); });
         },
         [&forms, layout = std::string(mainLayout), startChannel] {
             platform::runOnGuiThread([&forms, &layout, &startChannel] {
                 if (startChannel) {
                     startChannel();
                 }
                 if (Window* window = forms.openWindow(layout)) {
                     hotkeyPhraseSender().takeHotkeysBack(*window);
                 }
             });
         }});
}

}  // namespace lumivox
