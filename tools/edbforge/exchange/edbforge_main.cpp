// edbforge: writes Exchange stores as genuine ESE database files.
//
//   edbforge build [--libesedb-layout] scenario.json out.edb
//   edbforge scale --layout older|2010 --mailboxes M --folders F --items N [--seed S]
//                  [--libesedb-layout] out.edb

#include <CLI/CLI.hpp>
#include <exception>
#include <iostream>
#include <string>

#include "tools/edbforge/exchange/scale_generator.h"
#include "tools/edbforge/exchange/scenario_json.h"
#include "tools/edbforge/exchange/store_builder.h"

namespace {

int Run(int argc, char** argv) {
  CLI::App app{"edbforge: writes Exchange stores (ESE databases) for tests and benchmarks"};
  app.require_subcommand(1);

  // Both commands write the engine's long-value layout unless asked for libesedb's.
  bool libesedb_layout = false;
  const std::string libesedb_layout_help =
      "Lay long values out so that libesedb 20181229 finds them, not as the engine does";

  std::string scenario_path;
  std::string build_output;
  CLI::App* build = app.add_subcommand("build", "Write the store a JSON scenario describes");
  build->add_option("scenario", scenario_path, "JSON scenario file")->required();
  build->add_option("output", build_output, "Database file to write")->required();
  build->add_flag("--libesedb-layout", libesedb_layout, libesedb_layout_help);

  tarvex::edbforge::ScaleOptions scale_options;
  std::string layout = "older";
  bool public_store = false;
  std::string scale_output;
  CLI::App* scale = app.add_subcommand("scale", "Write a large generated store");
  scale->add_option("--layout", layout, "Store layout")
      ->check(CLI::IsMember({"older", "2010"}))
      ->required();
  scale->add_option("--mailboxes", scale_options.mailboxes, "Mailboxes (private store)");
  scale->add_option("--folders", scale_options.folders, "Item folders per mailbox");
  scale->add_option("--items", scale_options.items, "Items in all");
  scale->add_option("--seed", scale_options.seed, "Seed of the generated content");
  scale->add_option("--revision", scale_options.format_revision,
                    "Format revision (default 14 older, 20 for 2010)");
  scale->add_option("--page-size", scale_options.page_size, "Page size")
      ->check(CLI::IsMember({4096, 8192, 32768}));
  scale->add_flag("--public", public_store, "Write a public store instead of a private one");
  scale->add_flag("--libesedb-layout", libesedb_layout, libesedb_layout_help);
  scale->add_option("output", scale_output, "Database file to write")->required();

  CLI11_PARSE(app, argc, argv);

  try {
    if (build->parsed()) {
      tarvex::edbforge::StoreDescription description =
          tarvex::edbforge::ReadScenarioFile(scenario_path);
      description.libesedb_long_value_layout = libesedb_layout;
      tarvex::edbforge::BuildStore(description, build_output, scenario_path);
    } else {
      scale_options.layout = layout == "2010" ? tarvex::edbforge::StoreLayout::k2010
                                              : tarvex::edbforge::StoreLayout::kOlder;
      scale_options.kind = public_store ? tarvex::edbforge::StoreKind::kPublic
                                        : tarvex::edbforge::StoreKind::kPrivate;
      scale_options.libesedb_long_value_layout = libesedb_layout;
      tarvex::edbforge::WriteScaleStore(scale_options, scale_output);
    }
  } catch (const std::exception& error) {
    std::cerr << "edbforge: " << error.what() << "\n";
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return Run(argc, argv);
}
