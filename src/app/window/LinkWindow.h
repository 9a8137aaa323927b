#pragma once
// The Link tool window (toolbar "Link"): starts and stops the Link server and shows the pairing
// code, the local addresses, the QR code of the pairing link, the paired surfaces and the
// wrong-code count, all from LinkWindowModel. UI map identifiers 1100-1119.
//
// Threading: user-interface thread only.

#include "app/window/ToolWindow.h"

namespace vyn {

namespace link_window_id {
inline constexpr int START_STOP = 1100;
inline constexpr int NEW_CODE = 1101;
inline constexpr int STATUS = 1110;
inline constexpr int CODE = 1111;
inline constexpr int ADDRESSES = 1112;
inline constexpr int WRONG_CODES = 1113;
inline constexpr int MESSAGE = 1114;
inline constexpr int LINK = 1115;
} // namespace link_window_id

class LinkWindow final : public ToolWindow {
public:
    int toolbarId() const override;
    const char* title() const override;
    void draw(UiContext& ui) override;
};

} // namespace vyn
