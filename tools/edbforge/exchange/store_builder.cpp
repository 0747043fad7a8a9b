#include "tools/edbforge/exchange/store_builder.h"

#include "tools/edbforge/exchange/store_writer.h"

namespace tarvex::edbforge {

void BuildStore(const StoreSpec& spec, const std::filesystem::path& path,
                const std::string& source) {
  StoreWriter writer(spec, path, source);
  auto for_each_item = [&writer](auto&& visit) {
    for (size_t folder = 0; folder < writer.folders().size(); ++folder) {
      const FolderSpec* folder_spec = writer.folders()[folder].spec;
      if (folder_spec == nullptr) continue;
      for (size_t index = 0; index < folder_spec->items.size(); ++index) {
        visit(folder, folder_spec->items[index],
              writer.folders()[folder].place + ", item " + std::to_string(index + 1));
      }
    }
  };
  for_each_item([&writer](size_t folder, const ItemSpec& item, const std::string& place) {
    writer.DeclareItem(folder, item, place);
  });
  writer.Start();
  for_each_item([&writer](size_t folder, const ItemSpec& item, const std::string& place) {
    writer.AddItem(folder, item, place);
  });
  writer.Finish();
}

}  // namespace tarvex::edbforge
