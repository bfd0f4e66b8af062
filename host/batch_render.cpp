#include "host/batch_render.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

#include "core/library.h"

namespace vx::host {

struct BatchRenderer::Worker {
    EffectLibrary library = EffectLibrary::Linked();
    std::optional<EffectInstance> instance;
};

namespace {

const EffectEntry* FindEntry(const std::string& identifier) {
    for (const EffectEntry& e : EffectTable())
        if (identifier == e.identifier) return &e;
    return nullptr;
}

// The effect's output as a frame of its own: the output frame is the host's
// and is reused by the next render.
void TakeOutput(const Frame& output, Frame* slot) {
    if (&output == slot) return;  // rendered in place
    *slot = output;
    slot->refCount = 1;
}

}  // namespace

BatchRenderer::BatchRenderer(const std::string& identifier, const std::vector<Setting>& settings,
                             int workers, const ClipTiming& clip) {
    const EffectEntry* entry = FindEntry(identifier);
    if (!entry || !entry->create)
        throw std::runtime_error("effect \"" + identifier + "\" is unknown or not built");
    for (int w = 0; w < (workers < 1 ? 1 : workers); ++w) {
        auto worker = std::make_unique<Worker>();
        EffectInterface* effect = worker->library.CreateEffect(entry->classId);
        if (!effect) throw std::runtime_error("effect \"" + identifier + "\" cannot be created");
        worker->instance.emplace(effect);
        EffectInstance& instance = *worker->instance;
        if (instance.DefineParameters() != kOk)
            throw std::runtime_error("effect \"" + identifier +
                                     "\" failed to declare its parameters");
        for (const auto& [name, value] : settings) {
            std::string error;
            if (!instance.SetValue(name, value, &error)) throw std::runtime_error(error);
        }
        RenderContext& context = instance.context();
        context.start = {0, clip.unitsPerSecond, clip.unitsPerFrame};
        context.duration = {clip.frameCount * clip.unitsPerFrame, clip.unitsPerSecond,
                            clip.unitsPerFrame};
        workers_.push_back(std::move(worker));
        // Frames of one clip rendered at once cannot see each other's
        // inputs in order, so an effect that reads the clip gets one worker.
        if (w == 0 && instance.AttachClip() == kOk) {
            readsClip_ = true;
            break;
        }
    }
}

BatchRenderer::~BatchRenderer() = default;

// Keeps the inputs the effect may reach back to: up to 240 frames (ten
// ghosts 24 frames apart), fewer for large frames so they stay within 1 GiB.
void BatchRenderer::RenderWithHistory(int64_t first, std::vector<Frame>& frames) {
    EffectInstance& instance = *workers_[0]->instance;
    Clip& clip = instance.clip();
    for (size_t i = 0; i < frames.size(); ++i) {
        const size_t frameBytes = frames[i].Storage().size() + 1;
        const size_t keep = std::clamp<size_t>((size_t(1) << 30) / frameBytes, 1, 240);
        while (history_.size() > keep)
            history_.pop_front();
        history_.push_back(frames[i]);
        history_.back().refCount = 1;
        clip.frames.clear();
        for (Frame& f : history_)
            clip.frames.push_back(&f);
        clip.current = int32_t(clip.frames.size() - 1);

        instance.context().SetFrame(first + int64_t(i));
        Frame* output = nullptr;
        const Status st = instance.Render({&frames[i]}, &output);
        if (st != kOk || !output)
            throw std::runtime_error("the effect failed on frame " +
                                     std::to_string(first + int64_t(i)) + " (status " +
                                     std::to_string(st) + ")");
        TakeOutput(*output, &frames[i]);
    }
}

void BatchRenderer::Render(int64_t first, std::vector<Frame>& frames) {
    if (readsClip_) return RenderWithHistory(first, frames);
    std::atomic<size_t> next{0};
    std::mutex failureLock;
    std::string failure;

    auto work = [&](Worker& worker) {
        EffectInstance& instance = *worker.instance;
        for (size_t i = next++; i < frames.size(); i = next++) {
            instance.context().SetFrame(first + int64_t(i));
            Frame* output = nullptr;
            const Status st = instance.Render({&frames[i]}, &output);
            if (st != kOk || !output) {
                std::lock_guard<std::mutex> lock(failureLock);
                failure = "the effect failed on frame " + std::to_string(first + int64_t(i)) +
                          " (status " + std::to_string(st) + ")";
                return;
            }
            TakeOutput(*output, &frames[i]);
        }
    };

    std::vector<std::thread> threads;
    for (size_t w = 1; w < workers_.size() && w < frames.size(); ++w)
        threads.emplace_back(work, std::ref(*workers_[w]));
    work(*workers_[0]);
    for (std::thread& t : threads)
        t.join();
    if (!failure.empty()) throw std::runtime_error(failure);
}

}  // namespace vx::host
