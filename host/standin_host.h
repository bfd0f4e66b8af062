// The stand-in host: the host objects an effect library talks to, over
// in-memory frames, parameters and clip times.  Tests, the command-line host
// and the benchmarks drive effects through it exactly as the editor would:
// through the library's entry points and the operation tables.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/host_abi.h"

namespace vx::host {

// Calls received, as short texts ("descriptor.SetName Zoom (0.5o)"), for tests.
struct CallLog {
    std::vector<std::string> calls;
    void Add(std::string call) { calls.push_back(std::move(call)); }
    size_t Count(const std::string& prefix) const;
};

std::string Narrow(const char16_t* text);
std::string GuidText(const Guid& g);

// Pixel storage of a frame: 24/32 bpp colour or 16 bpp packed 4:2:2, stored
// top-down or bottom-up, rows possibly padded.
struct FrameFormat {
    int32_t width = 0;
    int32_t height = 0;
    int32_t bitsPerPixel = 32;
    int32_t pixelFormat = 0;  // 1 or 2: packed 4:2:2
    bool bottomUp = false;
    int32_t rowPadding = 0;  // extra bytes after each row
    int32_t fieldCode = 0;   // 1: interlaced content
    bool operator==(const FrameFormat&) const = default;
};

class Frame {
    HostFrame iface_;  // first: the host frame is the object's address

public:
    explicit Frame(const FrameFormat& format, CallLog* log = nullptr);

    HostFrame* Host() { return &iface_; }
    static Frame* From(HostFrame* f) { return reinterpret_cast<Frame*>(f); }

    const FrameFormat& Format() const { return format_; }
    int32_t Pitch() const { return pitch_; }
    int32_t BytesPerPixel() const { return format_.bitsPerPixel / 8; }
    // Row 0 is the top row of the picture.
    uint8_t* Row(int32_t y);
    const uint8_t* Row(int32_t y) const;
    std::vector<uint8_t>& Storage() { return storage_; }
    // The picture's pixel bytes, top row first, without padding.
    std::vector<uint8_t> Pixels() const;
    void SetPixels(const std::vector<uint8_t>& topDownRows);
    void Fill(uint8_t value);

    // Host-side state the library may change.
    bool alphaMarked = false;
    double scaleOffset[4] = {1, 1, 0, 0};
    bool scaleOffsetSet = false;
    int32_t refCount = 1;

private:
    FrameFormat format_;
    int32_t pitch_;
    std::vector<uint8_t> storage_;
    CallLog* log_;
    friend struct FrameOps;
};

class FrameHolder {
    HostFrameHolder iface_;  // first

public:
    explicit FrameHolder(Frame* frame = nullptr) : frame_(frame) { iface_.ops = &kOps; }
    HostFrameHolder* Host() { return &iface_; }
    static FrameHolder* From(HostFrameHolder* h) { return reinterpret_cast<FrameHolder*>(h); }
    Frame* frame() const { return frame_; }
    void set_frame(Frame* f) { frame_ = f; }

private:
    static const HostFrameHolderOps kOps;
    Frame* frame_;
};

// One declared parameter as the host keeps it.
struct ParameterRecord {
    int32_t kind = 0;
    int32_t index = -1;
    std::u16string name;
    // Current and default values.
    double real = 0, realDefault = 0;
    int32_t integer = 0, integerDefault = 0;  // integer and choice
    uint8_t boolean = 0, booleanDefault = 0;
    std::vector<uint8_t> data, dataDefault;
    std::u16string text;
    std::u16string textDefault;
    // Range.
    double step = 0, min = 0, max = 0, sliderMin = 0, sliderMax = 0;
    int32_t choiceCount = 0;
    int32_t choiceFirst = 0, choiceSecond = 0;
    std::map<int32_t, std::u16string> choiceNames;
    std::map<int32_t, int32_t> choiceNumbers;
};

// The parameter list, factory and the parameters themselves, with the values
// a render context hands out.
class ParameterSet {
public:
    ParameterSet();
    ~ParameterSet();
    HostParameterList* List();
    HostParameterFactory* Factory();

    // Parameters added to the list, in the order they were added.
    const std::vector<ParameterRecord*>& Declared() const { return declared_; }
    ParameterRecord* ByIndex(int32_t index);
    ParameterRecord* ByName(const std::string& utf8Name);
    // Adds a value the host delivers without a declaration (tests).
    ParameterRecord* Add(int32_t kind, int32_t index);

    // References handed out and not yet released, across all objects.
    int32_t Outstanding() const { return outstanding_; }
    void CountReference(int32_t delta) { outstanding_ += delta; }
    bool refuseCreate = false;  // the factory refuses every parameter
    CallLog* log = nullptr;

    struct Impl;

private:
    friend struct Impl;
    std::unique_ptr<Impl> impl_;
    std::vector<ParameterRecord*> declared_;
    int32_t outstanding_ = 0;
};

class RenderContext {
    HostRenderContext iface_;  // first

public:
    explicit RenderContext(ParameterSet* params);
    HostRenderContext* Host() { return &iface_; }
    static RenderContext* From(HostRenderContext* c) { return reinterpret_cast<RenderContext*>(c); }

    ParameterSet* params;
    TimeValue start{0, 25, 1};
    TimeValue duration{100, 25, 1};
    TimeValue now{0, 25, 1};
    // Puts the current time at frame n of the effect (whole frames of unitsPerFrame).
    void SetFrame(int64_t n) { now = {start.count + n * start.unitsPerFrame, start.unitsPerSecond,
                                      start.unitsPerFrame}; }
};

// A picture the host made of a frame for the forwarding libraries' previews:
// rows of 24 or 32 bits per pixel, each padded to a multiple of 4 bytes,
// stored top row first or bottom row first.
class Image {
    HostImage iface_;  // first

public:
    Image(const Frame& frame, int32_t bitsPerPixel, bool bottomUp);
    HostImage* Host() { return &iface_; }
    static Image* From(HostImage* i) { return reinterpret_cast<Image*>(i); }

    int32_t width, height, bitsPerPixel, pitch;
    bool bottomUp;
    std::vector<uint8_t> storage;
    int32_t refCount = 1;  // the reference handed out
};

// The object a settings dialog is opened with: the owner window, and input
// frames of the clip rendered on request.
class WindowSource {
    HostWindowSource iface_;  // first

public:
    WindowSource();
    HostWindowSource* Host() { return &iface_; }
    static WindowSource* From(HostWindowSource* w) { return reinterpret_cast<WindowSource*>(w); }

    void* parentWindow = reinterpret_cast<void*>(uintptr_t(0x5150));
    // Renders input `input` at `at` into the frame; false when it renders
    // nothing.  The default paints PaintInput.
    std::function<bool(int32_t input, const TimeValue& at, Frame& frame)> render;
    struct Request {
        int32_t input;
        TimeValue at;
    };
    std::vector<Request> requests;

    // Blue = column, green = row, red = frame number (count / unitsPerFrame)
    // + 100 x input, alpha 255.
    static void PaintInput(int32_t input, const TimeValue& at, Frame& frame);
};

// The fourth argument of Process for the forwarding libraries.
class FieldInformation {
    HostFieldInformation iface_;  // first

public:
    FieldInformation();
    HostFieldInformation* Host() { return &iface_; }
    static FieldInformation* From(HostFieldInformation* f) {
        return reinterpret_cast<FieldInformation*>(f);
    }

    double number = 0;
    int32_t fieldIndicator = 0;  // operation 10
    int32_t parity = 0;          // operation 11
    std::vector<int32_t> calls;  // operation positions, in call order
};

// The clip an effect is placed on: its frames in order and the one being
// rendered.  As the host's frame source it tells an effect that asks for other
// frames of the clip (the Ghost's trail) where the frame `offset` frames
// before the current one lies, as the values {clip number, frame index, 0, 0};
// HostServices::ClipFrame hands that frame out with a reference.
class Clip {
    HostFrameSource iface_;  // first

public:
    Clip();
    HostFrameSource* Host() { return &iface_; }
    static Clip* From(HostFrameSource* s) { return reinterpret_cast<Clip*>(s); }

    const int32_t number;        // tells the clips of one host apart
    std::vector<Frame*> frames;  // not owned
    int32_t current = 0;         // the frame being rendered
    std::vector<int32_t> missing;  // frame indices the host cannot deliver
    int32_t refCount = 0;        // references taken on the frame source
    CallLog* log = nullptr;

    // The frame at an index of the clip, or null.
    Frame* At(int32_t index) const;
    // References to the clip's frames handed out and not yet released.
    int32_t Outstanding() const;
};

class Services {
    HostServices iface_;  // first

public:
    explicit Services(CallLog* log = nullptr);
    HostServices* Host() { return &iface_; }
    static Services* From(HostServices* s) { return reinterpret_cast<Services*>(s); }
    // Frames made for output holders.  A request for a frame of the same
    // format as the last one made gets that frame again, as a host recycles
    // its output buffers.
    std::vector<std::unique_ptr<Frame>> made;
    CallLog* log;
    Status failWith = kOk;  // answer every request with this status when non-zero

    // Frames and images made for the forwarding libraries' previews.
    std::vector<std::unique_ptr<Frame>> createdFrames;
    std::vector<std::unique_ptr<Image>> images;
    int32_t createdWidth = 0, createdHeight = 0;  // non-zero: the size of every frame made
    int32_t imageBitsPerPixel = 32;
    bool imageBottomUp = false;
    bool refuseImages = false;

    // The clip whose frames ClipFrame hands out.
    Clip* clip = nullptr;
};

// Registrar and descriptor that record what a library registers.
struct Registration {
    std::u16string group, name, version;
    Guid classId{};
    int32_t kind = 0, flags = 0;
    double number = 0;
};

class Registrar {
public:
    explicit Registrar(CallLog* log = nullptr);
    HostRegistrar* Host() { return &registrarIface_; }
    HostEffectDescriptor* Descriptor() { return &descriptorIface_; }

    std::vector<Registration> registered;
    Registration current;
    bool offerExtension = true;  // answer the descriptor's extension query
    int32_t extensionRefs = 0;
    Status answer = kOk;
    CallLog* log;

private:
    HostRegistrar registrarIface_;
    HostEffectDescriptor descriptorIface_;
    struct Extension {
        HostDescriptorExtension iface;
        Registrar* owner;
    } extension_;
    friend struct RegistrarOps;
};

// An effect library: either linked in, or loaded from a module file.
class EffectLibrary {
public:
    // The library linked into this program.
    static EffectLibrary Linked();
    // Loads a module; on failure error() says why.
    static EffectLibrary Load(const std::string& path);
    ~EffectLibrary();
    EffectLibrary(EffectLibrary&&) noexcept;
    EffectLibrary& operator=(EffectLibrary&&) noexcept;

    bool ok() const { return registerEffects_ && createEffect_; }
    const std::string& error() const { return error_; }
    Status RegisterEffects(Registrar& registrar) const;
    EffectInterface* CreateEffect(const Guid& classId) const;
    RegisterEffectFn registerEffect() const { return registerEffect_; }

private:
    EffectLibrary() = default;
    void* module_ = nullptr;
    RegisterEffectsFn registerEffects_ = nullptr;
    CreateEffectFn createEffect_ = nullptr;
    RegisterEffectFn registerEffect_ = nullptr;
    std::string error_;
};

// One effect instance with its parameters, ready to render frames.
class EffectInstance {
public:
    EffectInstance(EffectInterface* effect);  // takes the first reference
    ~EffectInstance();
    EffectInterface* effect() const { return effect_; }
    ParameterSet& params() { return params_; }
    RenderContext& context() { return context_; }
    Services& services() { return services_; }
    Clip& clip() { return clip_; }

    Status DefineParameters();
    // Hands the clip's frame source to an effect that takes one; kNoInterface
    // for the effects that render from their input alone.
    Status AttachClip();
    // Handed to Process as its fourth argument.
    HostFieldInformation* fieldInformation = nullptr;
    // Prepare and Process with the given inputs; output is the frame the
    // effect rendered into (the input itself for effects that work in place).
    Status Render(std::vector<Frame*> inputs, Frame** output);
    // Process again with the frames of the last Render (benchmarks time Process alone).
    Status ProcessAgain();

    // The host's own-dialog call: EditSettings of settings interface A
    // (form 'A') or B (form 'B') with this instance's render context and
    // services.  Answers what EditSettings answered, or -1 when the effect
    // does not answer that interface.
    int32_t EditSettings(char form, WindowSource& source);

    // Setting values by name; false when no such parameter or the text does not parse.
    bool SetValue(const std::string& name, const std::string& text, std::string* error);

private:
    EffectInterface* effect_;
    ParameterSet params_;
    RenderContext context_;
    Services services_;
    Clip clip_;
    FrameHolder outputHolder_;
    std::vector<FrameHolder> inputHolders_;
    std::vector<HostFrameHolder*> inputList_;
    HostInputList inputs_{0, nullptr};
};

}  // namespace vx::host
