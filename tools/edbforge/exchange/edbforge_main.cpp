// edbforge: writes Exchange stores as genuine ESE database files.
//
//   edbforge build [--libesedb-layout] scenario.json out.edb
//   edbforge scale --layout older|2010 --mailboxes M --folders F --items N [--seed S]
//                  [--libesedb-layout] [--damage RATE [--noise]] out.edb
//   edbforge damage [--zero-branches] [--pages RATE] [--noise] [--keep FRACTION] [--seed S]
//                   in.edb out.edb      (prints which pages were hit, as JSON)

#include <CLI/CLI.hpp>
#include <exception>
#include <iostream>
#include <string>

#include "tools/edbforge/ese/damage.h"
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

  double scale_damage = 0;
  bool scale_noise = false;
  scale->add_option("--damage", scale_damage, "Overwrite this share of all pages (0 to 1)")
      ->check(CLI::Range(0.0, 1.0));
  scale->add_flag("--noise", scale_noise, "Overwrite damaged pages with noise, not zeros");

  tarvex::edbforge::DamageOptions damage_options;
  std::string damage_input;
  std::string damage_output;
  CLI::App* damage = app.add_subcommand(
      "damage", "Copy a database with damage as real stores suffer it; print the pages hit");
  damage->add_flag("--zero-branches", damage_options.zero_branches,
                   "Zero every branch page (neither leaf nor empty)");
  damage->add_option("--pages", damage_options.page_rate,
                     "Overwrite this share of all pages, chosen at random (0 to 1)")
      ->check(CLI::Range(0.0, 1.0));
  damage->add_flag("--noise", damage_options.noise, "Overwrite with noise rather than zeros");
  damage->add_option("--keep", damage_options.keep_fraction,
                     "Cut the file to this share of its pages (0 to 1)")
      ->check(CLI::Range(0.0, 1.0));
  damage->add_option("--seed", damage_options.seed, "Seed of the random choices");
  damage->add_option("input", damage_input, "Database file to copy")->required();
  damage->add_option("output", damage_output, "Damaged copy to write")->required();

  CLI11_PARSE(app, argc, argv);

  try {
    if (damage->parsed()) {
      const tarvex::edbforge::DamageReport report =
          tarvex::edbforge::DamageDatabase(damage_input, damage_output, damage_options);
      std::cout << "{\"page_size\": " << report.page_size << ", \"pages\": " << report.page_count
                << ", \"first_cut_page\": "
                << (report.first_cut_page ? std::to_string(*report.first_cut_page) : "null")
                << ", \"hit_pages\": [";
      for (std::size_t index = 0; index < report.hit_pages.size(); ++index) {
        std::cout << (index == 0 ? "" : ", ") << report.hit_pages[index];
      }
      std::cout << "]}\n";
    } else if (build->parsed()) {
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
      if (scale_damage > 0) {
        tarvex::edbforge::DamageDatabase(scale_output, scale_output,
                                         {.page_rate = scale_damage,
                                          .noise = scale_noise,
                                          .seed = scale_options.seed});
      }
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
