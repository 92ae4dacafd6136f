// The plug-in object: one per instance, owning every subsystem of it.
#pragma once

#include <cstdint>

#include "engine/engine.h"
#include "params/pi_base.h"
#include "platform/audio_effect.h"
#include "plugin/perf_meter.h"
#include "plugin/vst_program.h"

class CMIDI;
class CUFile;
class CSequencer;
class CVSTEditor;

enum HostKind { kHostOther = 0, kHostSteinberg = 1, kHostEmagic = 2, kHostAbleton = 3 };

struct ChoirRenderSettings {
    int voices = 8;
    float detune = 0, jitter = 0, gender = 0, pan = 0;
};

class CVSTSynth : public AudioEffectX {
public:
    static constexpr int kRenderFrames = 16384;
    static constexpr int kResidualFrames = 512;

    explicit CVSTSynth(vst::HostCallback host);
    ~CVSTSynth() override;

    // Lifecycle.
    void open() override {}
    void close() override;
    void suspend() override;
    void resume() override;
    void setSampleRate(float rate) override;
    float getSampleRate() override;
    void setBlockSize(vst::Int32 size) override { AudioEffect::setBlockSize(size); }

    // Programs.
    void setProgram(vst::Int32 program) override;
    void setProgramName(const char* name) override;
    void getProgramName(char* name) override;
    bool getProgramNameIndexed(vst::Int32 category, vst::Int32 index, char* text) override;
    bool beginSetProgram() override;
    bool endSetProgram() override;
    vst::Int32 getMidiProgramName(vst::Int32 channel, vst::MidiProgramName* name) override;
    vst::Int32 getCurrentMidiProgram(vst::Int32 channel, vst::MidiProgramName* name) override;
    bool hasMidiProgramsChanged(vst::Int32 channel) override;
    vst::Int32 getChunk(void** data, bool isPreset) override;
    vst::Int32 setChunk(void* data, vst::Int32 size, bool isPreset) override;

    // Program operations of the editor and of program changes.
    void assignProgramWithEffect(int part, int program);
    void copyProgram();
    void pasteProgram();
    void initProgram();
    void nextProgram(int step);
    // Applies what a bank head brought: every part's program, the selected
    // part's program, every mixer and master value.
    void applyBank();
    // Reads the bank tail: phoneme models (when the version has them), then
    // the score; stops where the bytes end.
    void readBankTail(CUFile& f, int version, bool withModels);
    void setOutputMuted(bool on) { outputMuted = on; }

    // Parameters.
    void setParameter(vst::Int32 index, float value) override;
    float getParameter(vst::Int32 index) override;
    void getParameterName(vst::Int32 index, char* text) override;
    void getParameterDisplay(vst::Int32 index, char* text) override;
    void getParameterLabel(vst::Int32, char*) override {}  // the host's buffer stays as it is
    // Text buffers of hosts hold at least this much in practice.
    static constexpr int kHostTextLen = 24;

    // Processing.
    void processReplacing(float** inputs, float** outputs, vst::Int32 frames) override;
    vst::Int32 processEvents(vst::VstEvents* events) override;

    // Identity.
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    vst::Int32 getVendorVersion() override { return 1; }
    vst::Int32 canDo(const char* text) override;
    bool getOutputProperties(vst::Int32 index, vst::VstPinProperties* pin) override;

    // Read access for tests, the editor and the engine's neighbours.
    int hostKind() const { return hostKindValue; }
    int hostVersion() const { return hostVersionValue; }
    bool isOutputMuted() const { return outputMuted; }
    bool isBulkProgramLoad() const { return bulkProgramLoad; }
    CEngine& getEngine() { return engine; }
    CPIBase& getParameters() { return parameters; }
    CVSTProgram& getPrograms() { return programs; }
    CSequencer* getSequencer() { return sequencer; }
    CMIDI* getMidi() { return midi; }
    CVSTEditor* getVSTEditor();
    void markPartChanged(int part);
    CPerfMeter& getPerfMeter() { return perfMeter; }
    int residualFrames() const { return residualCount; }

private:
    void renderFrames(int frames);
    void applyHostTime(const vst::VstTimeInfo* t);
    void checkVoiceCount(int part);

    CEngine engine;
    CPIBase parameters;
    CVSTProgram programs;
    ChoirRenderSettings choir;
    CMIDI* midi = nullptr;
    CSequencer* sequencer = nullptr;

    bool outputMuted = true;
    bool inSetProgram = false;
    bool inProcess = false;
    bool bulkProgramLoad = false;
    bool partChanged[kParts] = {};
    vst::VstTimeInfo* lastTimeInfo = nullptr;
    int hostKindValue = kHostOther;
    int hostVersionValue = 0;

    CPerfMeter perfMeter;
    int residualCount = 0;
    float residualBuffer[kResidualFrames * 2] = {};
    float renderBuffer[kRenderFrames * 2] = {};
};
