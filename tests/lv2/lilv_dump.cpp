// lilv_dump BUNDLE: the plug-in in BUNDLE as lilv hands it to a host, one
// fact a line, tab-separated, for check_bundle.py to hold against its tables:
//   license     URI
//   maintainer  NAME  MBOX
//   port        INDEX  SYMBOL  NAME
//   control     SYMBOL  DEFAULT  MINIMUM  MAXIMUM
//   property    SYMBOL  URI      (lv2:portProperty)
//   unit        SYMBOL  URI      (units:unit)
//   scale       SYMBOL  VALUE  LABEL
//   minimum     SYMBOL  BYTES          (rsz:minimumSize)
//   preset      LABEL  SYMBOL  VALUE  TYPE-URI
// A preset's values come as a host applying it gets them: the state lilv
// builds from the preset, emitted port by port with each value's atom type.
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/presets/presets.h>
#include <lv2/resize-port/resize-port.h>
#include <lv2/units/units.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr const char* kUri = "urn:quorvane:veltrace";

struct Uris {
  std::vector<std::string> names;
  LV2_URID Map(const char* uri) {
    for (size_t index = 0; index < names.size(); ++index)
      if (names[index] == uri) return static_cast<LV2_URID>(index + 1);
    names.emplace_back(uri);
    return static_cast<LV2_URID>(names.size());
  }
  const char* Unmap(LV2_URID urid) const { return urid && urid <= names.size() ? names[urid - 1].c_str() : "?"; }
};

LV2_URID MapUri(LV2_URID_Map_Handle handle, const char* uri) { return static_cast<Uris*>(handle)->Map(uri); }

struct Node {
  LilvNode* node;
  explicit Node(LilvNode* owned) : node(owned) {}
  ~Node() { lilv_node_free(node); }
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;
  const char* Text() const { return node ? lilv_node_as_string(node) : "-"; }
};

struct PresetPrint {
  const char* label;
  Uris* uris;
};

void PrintPortValue(const char* symbol, void* data, const void* value, uint32_t size, uint32_t type) {
  const auto* print = static_cast<const PresetPrint*>(data);
  const char* type_uri = print->uris->Unmap(type);
  std::printf("preset\t%s\t%s\t", print->label, symbol);
  if (!std::strcmp(type_uri, LV2_ATOM__Float) && size == sizeof(float))
    std::printf("%g", static_cast<double>(*static_cast<const float*>(value)));
  else if (!std::strcmp(type_uri, LV2_ATOM__Double) && size == sizeof(double))
    std::printf("%g", *static_cast<const double*>(value));
  else if (!std::strcmp(type_uri, LV2_ATOM__Int) && size == sizeof(int32_t))
    std::printf("%d", *static_cast<const int32_t*>(value));
  else
    std::printf("?");
  std::printf("\t%s\n", type_uri);
}

int Dump(LilvWorld* world, const char* path) {
  std::string bundle = path;
  if (bundle.back() != '/') bundle += '/';
  Node bundle_node(lilv_new_file_uri(world, nullptr, bundle.c_str()));
  lilv_world_load_bundle(world, bundle_node.node);

  Node uri(lilv_new_uri(world, kUri));
  const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri.node);
  if (!plugin) {
    std::fprintf(stderr, "lilv_dump: no plug-in %s in %s\n", kUri, path);
    return 1;
  }
  Node license_property(lilv_new_uri(world, "http://usefulinc.com/ns/doap#license"));
  LilvNodes* licenses = lilv_plugin_get_value(plugin, license_property.node);
  LILV_FOREACH (nodes, it, licenses) std::printf("license\t%s\n", lilv_node_as_string(lilv_nodes_get(licenses, it)));
  lilv_nodes_free(licenses);
  Node name(lilv_plugin_get_author_name(plugin));
  Node mbox(lilv_plugin_get_author_email(plugin));
  std::printf("maintainer\t%s\t%s\n", name.Text(), mbox.Text());

  Node control(lilv_new_uri(world, LV2_CORE__ControlPort));
  Node minimum_size(lilv_new_uri(world, LV2_RESIZE_PORT__minimumSize));
  Node port_property(lilv_new_uri(world, LV2_CORE__portProperty));
  Node unit(lilv_new_uri(world, LV2_UNITS__unit));
  const auto print_values = [&](const char* kind, const char* symbol, const LilvPort* port, const LilvNode* predicate) {
    LilvNodes* values = lilv_port_get_value(plugin, port, predicate);
    LILV_FOREACH (nodes, it, values) std::printf("%s\t%s\t%s\n", kind, symbol, lilv_node_as_string(lilv_nodes_get(values, it)));
    lilv_nodes_free(values);
  };
  for (uint32_t index = 0; index < lilv_plugin_get_num_ports(plugin); ++index) {
    const LilvPort* port = lilv_plugin_get_port_by_index(plugin, index);
    const char* symbol = lilv_node_as_string(lilv_port_get_symbol(plugin, port));
    Node port_name(lilv_port_get_name(plugin, port));
    std::printf("port\t%u\t%s\t%s\n", index, symbol, port_name.Text());
    LilvNodes* sizes = lilv_port_get_value(plugin, port, minimum_size.node);
    LILV_FOREACH (nodes, it, sizes) std::printf("minimum\t%s\t%s\n", symbol, lilv_node_as_string(lilv_nodes_get(sizes, it)));
    lilv_nodes_free(sizes);
    if (!lilv_port_is_a(plugin, port, control.node)) continue;
    print_values("property", symbol, port, port_property.node);
    print_values("unit", symbol, port, unit.node);
    LilvNode* range[3] = {};
    lilv_port_get_range(plugin, port, &range[0], &range[1], &range[2]);
    std::printf("control\t%s", symbol);
    for (LilvNode* bound : range) {
      std::printf(bound ? "\t%g" : "\t-", bound ? static_cast<double>(lilv_node_as_float(bound)) : 0.0);
      lilv_node_free(bound);
    }
    std::printf("\n");
    LilvScalePoints* points = lilv_port_get_scale_points(plugin, port);
    LILV_FOREACH (scale_points, it, points) {
      const LilvScalePoint* point = lilv_scale_points_get(points, it);
      std::printf("scale\t%s\t%g\t%s\n", symbol, static_cast<double>(lilv_node_as_float(lilv_scale_point_get_value(point))),
                  lilv_node_as_string(lilv_scale_point_get_label(point)));
    }
    lilv_scale_points_free(points);
  }

  Uris uris;
  LV2_URID_Map map = {&uris, MapUri};
  Node preset_class(lilv_new_uri(world, LV2_PRESETS__Preset));
  Node label_property(lilv_new_uri(world, LILV_NS_RDFS "label"));
  LilvNodes* presets = lilv_plugin_get_related(plugin, preset_class.node);
  LILV_FOREACH (nodes, it, presets) {
    const LilvNode* preset = lilv_nodes_get(presets, it);
    lilv_world_load_resource(world, preset);
    Node label(lilv_world_get(world, preset, label_property.node, nullptr));
    std::unique_ptr<LilvState, void (*)(LilvState*)> state(lilv_state_new_from_world(world, &map, preset), lilv_state_free);
    if (!state) {
      std::printf("preset\t%s\t-\t-\tno state\n", label.Text());
      continue;
    }
    PresetPrint print = {label.Text(), &uris};
    lilv_state_emit_port_values(state.get(), PrintPortValue, &print);
  }
  lilv_nodes_free(presets);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: lilv_dump BUNDLE\n");
    return 2;
  }
  LilvWorld* world = lilv_world_new();
  const int status = Dump(world, argv[1]);
  lilv_world_free(world);
  return status;
}
