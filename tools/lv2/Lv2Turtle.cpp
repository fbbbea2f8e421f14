// Build-time tool: writes the Turtle descriptions of both LV2 bundles from the plug-ins
// themselves: ports from the parameter table, defaults from the Default program, scale
// points from the display formats, presets from the factory bank.
// Usage: zorvek-lv2-turtle <Zorvek2.lv2 folder> <ZorvekCapture.lv2 folder>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "capture/CapturePlugin.h"
#include "editor/ValueFormat.h"
#include "framework/VocoderPlugin.h"
#include "plugins/Lv2Layouts.h"

namespace {

constexpr const char* kPrefixes =
    "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix midi: <http://lv2plug.in/ns/ext/midi#> .\n"
    "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
    "@prefix time: <http://lv2plug.in/ns/ext/time#> .\n"
    "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n"
    "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n\n";

// Floats written so that reading them back gives the same bits.
std::string number(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
    std::string s = text;
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    return s;
}

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

struct ControlPort {
    std::string symbol;
    float defaultValue;
    bool toggled;
    int steps;  // 0: continuous
    // Label of step k of steps.
    std::string (*label)(const void* context, int k, int steps);
    const void* context;
};

void writeControl(std::ostream& out, int index, const ControlPort& port) {
    out << "  lv2:port [\n    a lv2:InputPort , lv2:ControlPort ;\n    lv2:index " << index << " ;\n    lv2:symbol "
        << quoted(port.symbol) << " ;\n    lv2:name " << quoted(port.symbol) << " ;\n    lv2:default "
        << number(port.defaultValue) << " ;\n    lv2:minimum 0.0 ;\n    lv2:maximum 1.0 ;\n";
    if (port.toggled) out << "    lv2:portProperty lv2:toggled ;\n";
    if (port.steps >= 2) {
        if (!port.toggled) out << "    lv2:portProperty lv2:enumeration ;\n";
        for (int k = 0; k < port.steps; ++k)
            out << "    lv2:scalePoint [ rdfs:label " << quoted(port.label(port.context, k, port.steps))
                << " ; rdf:value " << number(static_cast<float>(k) / static_cast<float>(port.steps - 1)) << " ] ;\n";
    }
    out << "  ] ;\n";
}

void writeAudio(std::ostream& out, int index, bool input, const char* symbol, const char* name, bool sideChain) {
    out << "  lv2:port [\n    a " << (input ? "lv2:InputPort" : "lv2:OutputPort") << " , lv2:AudioPort ;\n"
        << "    lv2:index " << index << " ;\n    lv2:symbol \"" << symbol << "\" ;\n    lv2:name \"" << name
        << "\" ;\n";
    if (sideChain) out << "    lv2:portProperty lv2:isSideChain ;\n";
    out << "  ] ;\n";
}

std::string vocoderLabel(const void* context, int k, int steps) {
    const auto& desc = *static_cast<const ParamDesc*>(context);
    if (desc.kind == kKindSwitch) return k ? "On" : "Off";
    if (desc.kind == kKindChannelSelector) return std::to_string(k + 1);
    char text[kFormatTextSize];
    formatValue(static_cast<float>(k) / static_cast<float>(steps - 1), text, desc.text);
    std::string label = text;
    // The editor's bracketed labels read as plain names in a host's list.
    if (label.size() >= 2 && label.front() == '[' && label.back() == ']') label = label.substr(1, label.size() - 2);
    return label;
}

std::string captureLabel(const void* context, int k, int steps) {
    auto* plugin = static_cast<CapturePlugin*>(const_cast<void*>(context));
    const int index = steps == 2 ? CapturePlugin::kMute : CapturePlugin::kChannel;
    const float saved = plugin->getParameter(index);
    plugin->setParameter(index, static_cast<float>(k) / static_cast<float>(steps - 1));
    char text[kVstMaxParamStrLen + 1] = {};
    plugin->getParameterDisplay(index, text);
    plugin->setParameter(index, saved);
    return text;
}

bool save(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary);
    file << text;
    if (!file) std::cerr << "zorvek-lv2-turtle: cannot write " << path << "\n";
    return static_cast<bool>(file);
}

std::string manifest(const char* uri, const char* uiUri, const std::string& name, const std::string& presets) {
    std::ostringstream out;
    out << kPrefixes << "<" << uri << ">\n  a lv2:Plugin ;\n  lv2:binary <" << name << ".so> ;\n  rdfs:seeAlso <"
        << name << ".ttl> .\n\n<" << uiUri << ">\n  a ui:X11UI ;\n  ui:binary <" << name << ".so> ;\n"
        << "  lv2:requiredFeature ui:parent , ui:idleInterface , <http://lv2plug.in/ns/ext/instance-access> ;\n"
        << "  lv2:optionalFeature ui:resize , ui:noUserResize ;\n  lv2:extensionData ui:idleInterface .\n"
        << presets;
    return out.str();
}

std::string pluginHeader(const char* uri, const char* uiUri, const char* name, const char* kind) {
    std::ostringstream out;
    out << kPrefixes << "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n\n<" << uri
        << ">\n  a lv2:Plugin , " << kind << " ;\n  doap:name \"" << name
        << "\" ;\n  doap:maintainer [ doap:name \"Drennak\" ] ;\n"
        << "  lv2:requiredFeature urid:map ;\n  lv2:optionalFeature lv2:hardRTCapable ;\n"
        << "  lv2:extensionData state:interface ;\n  ui:ui <" << uiUri << "> ;\n";
    return out.str();
}

// The end of a description: the last ";" of the port list becomes the closing ".".
std::string closed(std::string text) {
    const size_t at = text.rfind(';');
    if (at != std::string::npos) text[at] = '.';
    return text;
}

bool writeVocoder(const std::string& folder) {
    // Never destroyed (its controller map would write an ini file beside this tool), and
    // held where leak checkers see it is still in use.
    static VocoderPlugin* const plugin = new VocoderPlugin(nullptr);
    const Lv2PortLayout& layout = lv2layout::kVocoder;
    std::ostringstream out;
    out << pluginHeader(lv2layout::kVocoderUri, lv2layout::kVocoderUiUri, "Zorvek2", "lv2:InstrumentPlugin");
    for (int i = 0; i < layout.controls; ++i) {
        const ParamDesc& desc = kVocoderParams[i];
        const bool toggled = desc.kind == kKindSwitch;
        int steps = toggled ? 2 : desc.kind == kKindChannelSelector ? CaptureMemory::kChannels : stepCount(desc.text);
        writeControl(out, i,
                     ControlPort{desc.name, plugin->program(0).values[i].load(), toggled, steps, vocoderLabel, &desc});
    }
    out << "  lv2:port [\n    a lv2:InputPort , atom:AtomPort ;\n    atom:bufferType atom:Sequence ;\n"
        << "    atom:supports midi:MidiEvent , time:Position ;\n    lv2:designation lv2:control ;\n    lv2:index "
        << layout.eventPort() << " ;\n    lv2:symbol \"events\" ;\n    lv2:name \"Events\" ;\n  ] ;\n";
    writeAudio(out, layout.firstInput(), true, "side_left", "Side-chain left", true);
    writeAudio(out, layout.firstInput() + 1, true, "side_right", "Side-chain right", true);
    writeAudio(out, layout.firstOutput(), false, "out_left", "Left", false);
    writeAudio(out, layout.firstOutput() + 1, false, "out_right", "Right", false);
    out << "  lv2:port [\n    a lv2:InputPort , lv2:ControlPort ;\n    lv2:index " << layout.firstExtra()
        << " ;\n    lv2:symbol \"SideChain\" ;\n    lv2:name \"Side-chain as capture\" ;\n"
        << "    lv2:default 0.0 ;\n    lv2:minimum 0.0 ;\n    lv2:maximum 1.0 ;\n    lv2:portProperty lv2:toggled ;\n  "
           "] ;\n";

    std::ostringstream presets, presetList;
    presets << kPrefixes;
    for (int p = 0; p < PluginBase::kNumPrograms; ++p) {
        const Program& program = plugin->program(p);
        if (std::strcmp(program.name, "None") == 0) continue;
        char uri[64];
        std::snprintf(uri, sizeof uri, "%s#program%02d", lv2layout::kVocoderUri, p);
        presetList << "\n<" << uri << ">\n  a pset:Preset ;\n  lv2:appliesTo <" << lv2layout::kVocoderUri
                   << "> ;\n  rdfs:seeAlso <presets.ttl> .\n";
        presets << "<" << uri << ">\n  a pset:Preset ;\n  lv2:appliesTo <" << lv2layout::kVocoderUri
                << "> ;\n  rdfs:label " << quoted(program.name) << " ;\n  lv2:port";
        for (int i = 0; i < layout.controls; ++i)
            presets << "\n    [ lv2:symbol \"" << kVocoderParams[i].name << "\" ; pset:value "
                    << number(program.values[i].load()) << " ]" << (i + 1 < layout.controls ? " ," : " .\n\n");
    }
    return save(folder + "/manifest.ttl",
                manifest(lv2layout::kVocoderUri, lv2layout::kVocoderUiUri, "Zorvek2", presetList.str())) &&
           save(folder + "/Zorvek2.ttl", closed(out.str())) && save(folder + "/presets.ttl", presets.str());
}

bool writeCapture(const std::string& folder) {
    CapturePlugin plugin(nullptr);
    const Lv2PortLayout& layout = lv2layout::kCapture;
    std::ostringstream out;
    out << pluginHeader(lv2layout::kCaptureUri, lv2layout::kCaptureUiUri, "ZorvekCapture", "lv2:UtilityPlugin");
    for (int i = 0; i < layout.controls; ++i) {
        char name[kVstMaxParamStrLen + 1] = {};
        plugin.getParameterName(i, name);
        const bool toggled = i == CapturePlugin::kMute;
        const int steps = toggled ? 2 : CaptureMemory::kChannels;
        writeControl(out, i, ControlPort{name, plugin.getParameter(i), toggled, steps, captureLabel, &plugin});
    }
    writeAudio(out, layout.firstInput(), true, "in_left", "Left in", false);
    writeAudio(out, layout.firstInput() + 1, true, "in_right", "Right in", false);
    writeAudio(out, layout.firstOutput(), false, "out_left", "Left out", false);
    writeAudio(out, layout.firstOutput() + 1, false, "out_right", "Right out", false);
    return save(folder + "/manifest.ttl",
                manifest(lv2layout::kCaptureUri, lv2layout::kCaptureUiUri, "ZorvekCapture", "")) &&
           save(folder + "/ZorvekCapture.ttl", closed(out.str()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: zorvek-lv2-turtle <Zorvek2.lv2 folder> <ZorvekCapture.lv2 folder>\n";
        return 2;
    }
    // Both plug-ins are built detached from the shared memory: a name no system accepts.
    setenv("ZORVEK_CAPTURE_SHM", "/no/such/object", 1);
    return writeVocoder(argv[1]) && writeCapture(argv[2]) ? 0 : 1;
}
