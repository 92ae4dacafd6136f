// The editor as the host sees it: a fixed 900 x 600 rectangle in the host's
// window. The window itself arrives with the GUI; until then open() fails.
#pragma once

#include "platform/audio_effect.h"

class CVSTSynth;

class CVSTEditor : public AEffEditor {
public:
    static constexpr int kWidth = 900;
    static constexpr int kHeight = 600;

    explicit CVSTEditor(CVSTSynth* plugin);

    bool getRect(vst::ERect** rect) override;
    bool open(void* parentWindow) override;
    void close() override;
    void idle() override;
    bool onKeyDown(vst::Int32 character, vst::IntPtr virtualKey, float modifier) override;

    // A value changed by someone else than its control: redraw its controls.
    void valueChanged(int part, int group, int entry) { (void)part, (void)group, (void)entry; }
    // Many values changed: re-read all controls at the next tick.
    void requestRefresh() { refreshPending = true; }
    bool isRefreshPending() const { return refreshPending; }

private:
    CVSTSynth* plugin;
    vst::ERect rect{0, 0, kHeight, kWidth};
    bool refreshPending = false;
};
