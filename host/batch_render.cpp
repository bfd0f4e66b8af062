#include "host/batch_render.h"

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
    }
}

BatchRenderer::~BatchRenderer() = default;

void BatchRenderer::Render(int64_t first, std::vector<Frame>& frames) {
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
