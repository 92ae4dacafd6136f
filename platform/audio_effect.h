// Our plug-in side of the VST 2.4 interface: the AEffect record, its static
// entries, the opcode dispatcher and the default answers a plug-in object
// inherits. A plug-in derives from AudioEffectX and overrides what it needs.
#pragma once

#include "platform/vst_abi.h"

class AudioEffect;

// Editor interface as the host sees it; the plug-in's editor derives from it.
class AEffEditor {
public:
    explicit AEffEditor(AudioEffect* effect);
    virtual ~AEffEditor() = default;
    virtual bool getRect(vst::ERect** rect);
    virtual bool open(void* parentWindow);
    virtual void close();
    virtual void idle() {}
    virtual bool onKeyDown(vst::Int32 character, vst::IntPtr virtualKey, float modifier);
    virtual bool onKeyUp(vst::Int32 character, vst::IntPtr virtualKey, float modifier);
    virtual bool setKnobMode(vst::Int32 mode);
    void* systemWindow() const { return parent; }

protected:
    AudioEffect* effect;
    void* parent = nullptr;
};

class AudioEffect {
public:
    AudioEffect(vst::HostCallback host, vst::Int32 numPrograms, vst::Int32 numParams);
    virtual ~AudioEffect();
    AudioEffect(const AudioEffect&) = delete;
    AudioEffect& operator=(const AudioEffect&) = delete;

    vst::AEffect* getAeffect() { return &cEffect; }
    static AudioEffect* fromAeffect(vst::AEffect* e);

    // Host request dispatch; unknown opcodes answer 0.
    virtual vst::IntPtr dispatcher(vst::Int32 opcode, vst::Int32 index, vst::IntPtr value, void* ptr, float opt);

    virtual void open() {}
    virtual void close() {}
    virtual void suspend() {}
    virtual void resume() {}
    virtual void setSampleRate(float rate) { sampleRate = rate; }
    virtual float getSampleRate() { return sampleRate; }
    virtual void setBlockSize(vst::Int32 size) { blockSize = size; }

    virtual void setProgram(vst::Int32 program) { curProgram = program; }
    virtual vst::Int32 getProgram() { return curProgram; }
    virtual void setProgramName(const char*) {}
    virtual void getProgramName(char* name) { name[0] = 0; }
    virtual void getParameterLabel(vst::Int32, char* label) { label[0] = 0; }
    virtual void getParameterDisplay(vst::Int32, char* text) { text[0] = 0; }
    virtual void getParameterName(vst::Int32, char* text) { text[0] = 0; }
    virtual vst::Int32 getChunk(void** data, bool isPreset);
    virtual vst::Int32 setChunk(void* data, vst::Int32 size, bool isPreset);

    virtual void setParameter(vst::Int32, float) {}
    virtual float getParameter(vst::Int32) { return 0; }
    virtual void process(float**, float**, vst::Int32) {}
    virtual void processReplacing(float** inputs, float** outputs, vst::Int32 frames) = 0;
    virtual void processDoubleReplacing(double**, double**, vst::Int32) {}

    // Record setup, called from the plug-in's constructor.
    void setUniqueID(vst::Int32 id) { cEffect.uniqueID = id; }
    void setNumInputs(vst::Int32 n) { cEffect.numInputs = n; }
    void setNumOutputs(vst::Int32 n) { cEffect.numOutputs = n; }
    void canProcessReplacing(bool on) { setFlag(vst::effFlagsCanReplacing, on); }
    void programsAreChunks(bool on) { setFlag(vst::effFlagsProgramChunks, on); }
    void isSynth(bool on) { setFlag(vst::effFlagsIsSynth, on); }
    void setEditor(AEffEditor* e);
    AEffEditor* getEditor() const { return editor; }

    // Requests to the host; all answer 0 without a host.
    vst::IntPtr callHost(vst::Int32 opcode, vst::Int32 index = 0, vst::IntPtr value = 0, void* ptr = nullptr,
                         float opt = 0);
    vst::Int32 getMasterVersion();
    void setParameterAutomated(vst::Int32 index, float value);

protected:
    void setFlag(vst::Int32 flag, bool on);

    vst::AEffect cEffect{};
    vst::HostCallback hostCallback;
    AEffEditor* editor = nullptr;
    float sampleRate = 44100.0f;
    vst::Int32 blockSize = 1024;
    vst::Int32 numPrograms;
    vst::Int32 numParams;
    vst::Int32 curProgram = 0;
};

class AudioEffectX : public AudioEffect {
public:
    using AudioEffect::AudioEffect;

    vst::IntPtr dispatcher(vst::Int32 opcode, vst::Int32 index, vst::IntPtr value, void* ptr, float opt) override;
    void resume() override;

    virtual vst::Int32 processEvents(vst::VstEvents*) { return 0; }
    virtual bool canParameterBeAutomated(vst::Int32) { return true; }
    virtual bool string2parameter(vst::Int32, char*) { return false; }
    virtual bool getProgramNameIndexed(vst::Int32, vst::Int32, char*) { return false; }
    virtual bool getInputProperties(vst::Int32, vst::VstPinProperties*) { return false; }
    virtual bool getOutputProperties(vst::Int32, vst::VstPinProperties*) { return false; }
    virtual vst::Int32 getPlugCategory();
    virtual bool getEffectName(char* name) { name[0] = 0; return false; }
    virtual bool getVendorString(char* text) { text[0] = 0; return false; }
    virtual bool getProductString(char* text) { text[0] = 0; return false; }
    virtual vst::Int32 getVendorVersion() { return 0; }
    virtual vst::Int32 canDo(const char*) { return 0; }
    virtual vst::Int32 getTailSize() { return 0; }
    virtual vst::Int32 getVstVersion() { return 2400; }
    virtual vst::Int32 getMidiProgramName(vst::Int32, vst::MidiProgramName*) { return 0; }
    virtual vst::Int32 getCurrentMidiProgram(vst::Int32, vst::MidiProgramName*) { return -1; }
    virtual vst::Int32 getMidiProgramCategory(vst::Int32, void*) { return 0; }
    virtual bool hasMidiProgramsChanged(vst::Int32) { return false; }
    virtual bool getMidiKeyName(vst::Int32, void*) { return false; }
    virtual bool beginSetProgram() { return false; }
    virtual bool endSetProgram() { return false; }

    // Requests to the host.
    bool wantEvents(vst::Int32 filter = 1);
    vst::VstTimeInfo* getTimeInfo(vst::Int32 filter);
    bool getHostVendorString(char* text);
    bool getHostProductString(char* text);
    bool updateDisplay();
};
