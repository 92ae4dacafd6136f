#include "plugin/vst_editor.h"

#include "plugin/vst_synth.h"

CVSTEditor::CVSTEditor(CVSTSynth* owner) : AEffEditor(owner), plugin(owner) {}

bool CVSTEditor::getRect(vst::ERect** r) {
    if (!r) return false;
    *r = &rect;
    return true;
}

bool CVSTEditor::open(void* parentWindow) {
    AEffEditor::open(parentWindow);
    // No window system yet: tell the host that no editor window was made.
    parent = nullptr;
    return false;
}

void CVSTEditor::close() { AEffEditor::close(); }

void CVSTEditor::idle() {
    if (!parent) return;
    refreshPending = false;
}

// Keys reach the editor through its own window; the host's copy is taken.
bool CVSTEditor::onKeyDown(vst::Int32, vst::IntPtr, float) { return true; }
