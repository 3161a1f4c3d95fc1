// The paste clipboard of the Qt build: the CLIPBOARD selection through QClipboard. A
// program reading the text sends us a SelectionRequest; a native event filter
// on Qt's X connection sees it before Qt answers, and the report is queued so
// that it runs once the answer has gone out.
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <QAbstractNativeEventFilter>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "platform/PasteClipboard.hpp"
#include "platform/linux/qt/X11Keyboard.hpp"

namespace lumivox::platform {
namespace {

xcb_atom_t atom(xcb_connection_t* connection, const char* name) {
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(
            connection,
            xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
            nullptr),
        &std::free);
    return reply ? reply->atom : XCB_NONE;
}

// A deep copy of the mime data, every format read out now (the owner may be gone later).
std::unique_ptr<QMimeData> copyOf(const QMimeData* source) {
    auto copy = std::make_unique<QMimeData>();
    if (source == nullptr) {
        return copy;
    }
    for (const QString& format : source->formats()) {
        // Requests of the selection protocol itself, not contents.
        if (format == QLatin1String("TARGETS") || format == QLatin1String("MULTIPLE") ||
            format == QLatin1String("TIMESTAMP") || format == QLatin1String("SAVE_TARGETS")) {
            continue;
        }
        copy->setData(format, source->data(format));
    }
    return copy;
}

class X11PasteClipboard final : public PasteClipboard, public QAbstractNativeEventFilter {
  public:
    bool offerText(const std::string& utf8, std::function<void()> onRead) override {
        if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) {
            return false;
        }
        QClipboard* clipboard = QGuiApplication::clipboard();
        if (!stillOurs()) {
            // What the host copied; an offer of ours still in place keeps the first copy.
            saved_ = copyOf(clipboard->mimeData(QClipboard::Clipboard));
        }
        // Reads are reported where they can be seen: on X11. Elsewhere the
        // caller's bound on the wait applies.
        xcb_connection_t* connection = x11::connection();
        if (connection != nullptr && clipboardAtom_ == XCB_NONE) {
            clipboardAtom_ = atom(connection, "CLIPBOARD");
            for (const char* name : {"UTF8_STRING", "text/plain;charset=utf-8", "text/plain",
                                     "STRING", "TEXT", "COMPOUND_TEXT"}) {
                textTargets_.push_back(atom(connection, name));
            }
            QCoreApplication::instance()->installNativeEventFilter(this);
        }
        // The program's line break is CR LF; X11 text breaks lines with LF alone.
        QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        auto* offered = new QMimeData;
        offered->setText(text);
        clipboard->setMimeData(offered, QClipboard::Clipboard);  // Qt owns it from here
        if (clipboard->mimeData(QClipboard::Clipboard) != offered) {
            // The server refused the selection: what the host copied stays in place.
            offered_ = nullptr;
            return false;
        }
        offered_ = offered;
        onRead_ = std::move(onRead);
        return true;
    }

    void giveBack() override {
        onRead_ = {};
        if (!stillOurs()) {
            offered_ = nullptr;
            return;  // the host or another program has set something since
        }
        offered_ = nullptr;
        QClipboard* clipboard = QGuiApplication::clipboard();
        if (saved_ == nullptr || saved_->formats().isEmpty()) {
            clipboard->clear(QClipboard::Clipboard);
        } else {
            clipboard->setMimeData(saved_.release(), QClipboard::Clipboard);
        }
        saved_.reset();
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "xcb_generic_event_t" || !onRead_) {
            return false;
        }
        auto* event = static_cast<xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7F) != XCB_SELECTION_REQUEST) {
            return false;
        }
        auto* request = reinterpret_cast<xcb_selection_request_event_t*>(event);
        // Only a request for the text itself is a read: asking what we offer
        // (TARGETS) or for a format we lack (a browser asks for HTML first) is not.
        if (request->selection != clipboardAtom_ ||
            std::find(textTargets_.begin(), textTargets_.end(), request->target) ==
                textTargets_.end()) {
            return false;
        }
        // Only the program that has the keyboard focus is the one pasting: another
        // program reading the clipboard meanwhile (a clipboard manager, a reader
        // that takes a byte and goes) must not let the closing Enter go before
        // the target has the text.
        if (!fromFocusedClient(request->requestor)) {
            return false;
        }
        // Qt answers after this filter returns; the report waits until it has.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [this] {
                if (onRead_) {
                    std::function<void()> report = onRead_;
                    report();
                }
            },
            Qt::QueuedConnection);
        return false;
    }

  private:
    // Whether the requesting window belongs to the client whose window has the
    // keyboard focus (a client's windows share the high bits of their ids). A
    // focus that names no window tells nothing: every reader counts then.
    static bool fromFocusedClient(xcb_window_t requestor) {
        xcb_connection_t* connection = x11::connection();
        if (connection == nullptr) {
            return true;
        }
        std::unique_ptr<xcb_get_input_focus_reply_t, decltype(&std::free)> focus(
            xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr),
            &std::free);
        if (!focus || focus->focus == XCB_NONE || focus->focus == XCB_INPUT_FOCUS_POINTER_ROOT) {
            return true;
        }
        const std::uint32_t clientBits = ~xcb_get_setup(connection)->resource_id_mask;
        return (focus->focus & clientBits) == (requestor & clientBits);
    }

    // Whether the clipboard holds our offer still: Qt drops our data when
    // another client takes the selection, and then shows that client's.
    bool stillOurs() const {
        return offered_ != nullptr &&
               QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard) == offered_;
    }

    std::unique_ptr<QMimeData> saved_;
    const QMimeData* offered_ = nullptr;  // owned by Qt's clipboard; compared, never read
    std::function<void()> onRead_;
    xcb_atom_t clipboardAtom_ = XCB_NONE;
    std::vector<xcb_atom_t> textTargets_;  // the targets Qt answers with the text
};

}  // namespace

PasteClipboard& systemPasteClipboard() {
    // Never destroyed: the native event filter must not outlive Qt's dispatcher.
    static X11PasteClipboard* clipboard = new X11PasteClipboard;
    return *clipboard;
}

}  // namespace lumivox::platform
