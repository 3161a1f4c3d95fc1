#pragma once
// The clipboard as a paste into another program uses it: the text is put in
// place of what the host copied, every program that reads it is reported, and
// the host's contents are put back afterwards. GUI thread only.
#include <functional>
#include <string>

namespace lumivox::platform {

class PasteClipboard {
  public:
    virtual ~PasteClipboard() = default;
    // Keeps what the clipboard holds now (every format the platform can read;
    // an earlier offer not yet given back keeps its first saved contents) and
    // puts the UTF-8 text in its place. onRead runs on the GUI thread, from its
    // event loop, each time another program has been given the text. False,
    // with the clipboard as it was, when the text could not be set.
    virtual bool offerText(const std::string& utf8, std::function<void()> onRead) = 0;
    // Ends the reports of onRead and puts back what offerText kept, unless the
    // clipboard holds something else by now (another program set it since).
    virtual void giveBack() = 0;
};

// The system's clipboard (the CLIPBOARD selection on X11).
PasteClipboard& systemPasteClipboard();

}  // namespace lumivox::platform
