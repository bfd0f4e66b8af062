// The parameters an effect declared, one line of text each, so that a test
// can compare them with the table the effect must offer.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "host/standin_host.h"

namespace vx::test {

// "id name real def=50 range=0..100 slider=0..100 step=0.1",
// "id name choice def=0 [a|b]" or "id name boolean def=true".
inline std::string DeclarationLine(const host::ParameterRecord& r) {
    char buf[160];
    const std::string name = host::Narrow(r.name.c_str());
    switch (r.kind) {
        case kKindReal:
        case kKindInteger: {
            const bool real = r.kind == kKindReal;
            std::snprintf(buf, sizeof buf, "%d %s %s def=%g range=%g..%g slider=%g..%g step=%g",
                          r.index, name.c_str(), real ? "real" : "integer",
                          real ? r.realDefault : double(r.integerDefault), r.min, r.max,
                          r.sliderMin, r.sliderMax, r.step);
            return buf;
        }
        case kKindChoice: {
            std::string s = std::to_string(r.index) + " " + name + " choice def=" +
                            std::to_string(r.integerDefault) + " [";
            for (const auto& [i, choice] : r.choiceNames)
                s += (i ? "|" : "") + host::Narrow(choice.c_str());
            return s + "] count=" + std::to_string(r.choiceCount);
        }
        case kKindBoolean:
            return std::to_string(r.index) + " " + name +
                   (r.booleanDefault ? " boolean def=true" : " boolean def=false");
        default:
            return std::to_string(r.index) + " " + name + " kind " + std::to_string(r.kind);
    }
}

inline std::vector<std::string> DeclarationLines(host::EffectInstance& instance) {
    std::vector<std::string> lines;
    for (const host::ParameterRecord* r : instance.params().Declared())
        lines.push_back(DeclarationLine(*r));
    return lines;
}

}  // namespace vx::test
