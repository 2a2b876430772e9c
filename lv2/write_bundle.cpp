// Writes the bundle's Turtle at build time: manifest.ttl, veltrace.ttl (its
// template with the six setting ports filled in) and presets.ttl, all from
// the core's settings table, so that the ports and presets hosts read are the
// table's rows.
//
//   write_bundle TEMPLATE OUTPUT_DIR [NAME=VALUE...]
//
// Every @NAME@ in the template is replaced by its value; @SETTING_PORTS@ by
// the setting ports, @PRODUCT_DESCRIPTION@ by the plug-in's description. A name left over is an error.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>

#include "core/product.h"
#include "core/settings_table.h"
#include "lv2/plugin_uri.h"
#include "lv2/veltrace_plugin.h"

namespace {

// A Turtle string literal: quotes and backslashes escaped.
std::string Literal(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

std::string ScalePoint(const char* label, int value) {
    return "[\n\t\t\trdfs:label " + Literal(label) + " ;\n\t\t\trdf:value " + std::to_string(value) + "\n\t\t]";
}

// The setting ports, as the objects of the plug-in's lv2:port list.
std::string SettingPorts() {
    std::ostringstream out;
    for (std::uint32_t index = 0; index < kParamsPerRow; ++index) {
        const SettingDescription& setting = kSettingTable[index];
        out << (index == 0 ? "[" : " , [") << "\n"
            << "\t\ta lv2:InputPort , lv2:ControlPort ;\n"
            << "\t\tlv2:index " << kFirstSettingPort + index << " ;\n"
            << "\t\tlv2:symbol " << Literal(setting.symbol) << " ;\n"
            << "\t\tlv2:name " << Literal(setting.name) << " ;\n"
            << "\t\tlv2:default " << setting.defaultValue << " ;\n"
            << "\t\tlv2:minimum " << setting.minimum << " ;\n"
            << "\t\tlv2:maximum " << setting.maximum << " ;\n";
        std::string properties = "lv2:integer";
        std::string points;
        switch (setting.display) {
        case SettingDisplay::Controller: points = ScalePoint(kPressureName, 0); break;
        case SettingDisplay::ModeName:
            properties += " , lv2:enumeration";
            for (std::uint32_t mode = 0; mode < kModeCount; ++mode)
                points += (mode == 0 ? "" : " , ") + ScalePoint(kModeNames[mode], static_cast<int>(mode));
            break;
        default: break;
        }
        std::string last = "\t\tlv2:portProperty " + properties;
        if (!points.empty()) last += " ;\n\t\tlv2:scalePoint " + points;
        if (std::string(setting.unit) == "%") last += " ;\n\t\tunits:unit units:pc";
        out << last << "\n\t]";
    }
    return out.str();
}

std::string PresetUri(const SettingsPreset& preset) { return std::string("<") + kVeltracePluginUri + "#" + preset.key + ">"; }

std::string Manifest() {
    std::ostringstream out;
    out << "@prefix lv2:  <http://lv2plug.in/ns/lv2core#> .\n"
        << "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
        << "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n\n"
        << "<" << kVeltracePluginUri << ">\n\ta lv2:Plugin ;\n\tlv2:binary <veltrace.so> ;\n\trdfs:seeAlso <veltrace.ttl> .\n";
    for (const SettingsPreset& preset : kPresets)
        out << "\n" << PresetUri(preset) << "\n\ta pset:Preset ;\n\tlv2:appliesTo <" << kVeltracePluginUri
            << "> ;\n\trdfs:seeAlso <presets.ttl> .\n";
    return out.str();
}

std::string Presets() {
    std::ostringstream out;
    out << "@prefix lv2:  <http://lv2plug.in/ns/lv2core#> .\n"
        << "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
        << "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n\n"
        << "# Every value is written as a float (1.0, not 1), as control ports take\n"
        << "# them: an integer literal reaches a host as atom:Int, whose bits a host\n"
        << "# reading a float takes for 1.4e-45.\n";
    for (const SettingsPreset& preset : kPresets) {
        out << "\n" << PresetUri(preset) << "\n\ta pset:Preset ;\n\tlv2:appliesTo <" << kVeltracePluginUri << "> ;\n"
            << "\trdfs:label " << Literal(preset.label) << " ;\n"
            << "\trdfs:comment " << Literal(preset.comment) << " ;\n\tlv2:port ";
        for (std::uint32_t index = 0; index < kParamsPerRow; ++index)
            out << (index == 0 ? "[" : " , [") << "\n\t\tlv2:symbol " << Literal(kSettingTable[index].symbol)
                << " ;\n\t\tpset:value " << preset.values[index] << ".0\n\t]";
        out << " .\n";
    }
    return out.str();
}

bool Write(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (out) return true;
    std::cerr << "write_bundle: " << path << ": cannot be written\n";
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: write_bundle TEMPLATE OUTPUT_DIR [NAME=VALUE...]\n";
        return 2;
    }
    std::map<std::string, std::string> values = {{"SETTING_PORTS", SettingPorts()},
                                                  {"PRODUCT_DESCRIPTION", Literal(kProductDescription)}};
    for (int i = 3; i < argc; ++i) {
        const std::string pair = argv[i];
        const auto equals = pair.find('=');
        if (equals == std::string::npos) {
            std::cerr << "write_bundle: '" << pair << "' is no NAME=VALUE\n";
            return 2;
        }
        values[pair.substr(0, equals)] = pair.substr(equals + 1);
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::stringstream read;
    read << in.rdbuf();
    if (!in) {
        std::cerr << "write_bundle: " << argv[1] << ": cannot be read\n";
        return 1;
    }
    // @NAME@ with NAME in capitals, digits and underscores; Turtle's own
    // @prefix is none.
    std::string description = read.str();
    for (std::size_t at = description.find('@'); at != std::string::npos; at = description.find('@', at)) {
        const std::size_t end = description.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_", at + 1);
        if (end == std::string::npos || end == at + 1 || description[end] != '@') {
            ++at;
            continue;
        }
        const std::string name = description.substr(at + 1, end - at - 1);
        const auto value = values.find(name);
        if (value == values.end()) {
            std::cerr << "write_bundle: " << argv[1] << ": no value for @" << name << "@\n";
            return 1;
        }
        description.replace(at, end - at + 1, value->second);
        at += value->second.size();
    }
    const std::string folder = argv[2];
    return Write(folder + "/veltrace.ttl", description) && Write(folder + "/manifest.ttl", Manifest()) &&
                   Write(folder + "/presets.ttl", Presets())
               ? 0
               : 1;
}
