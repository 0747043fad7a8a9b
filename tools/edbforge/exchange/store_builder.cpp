#include "tools/edbforge/exchange/store_builder.h"

#include "tools/edbforge/exchange/store_writer.h"

namespace tarvex::edbforge {

StorePages BuildStore(const StoreDescription& description, const std::filesystem::path& path,
                      const std::string& source) {
  StoreWriter writer(description, path, source);
  auto for_each_item = [&writer](auto&& visit) {
    for (size_t folder = 0; folder < writer.folders().size(); ++folder) {
      const FolderDescription* folder_description = writer.folders()[folder].description;
      if (folder_description == nullptr) continue;
      for (size_t index = 0; index < folder_description->items.size(); ++index) {
        visit(folder, folder_description->items[index],
              writer.folders()[folder].place + ", item " + std::to_string(index + 1));
      }
    }
  };
  for_each_item([&writer](size_t folder, const ItemDescription& item, const std::string& place) {
    writer.DeclareItem(folder, item, place);
  });
  writer.Start();
  for_each_item([&writer](size_t folder, const ItemDescription& item, const std::string& place) {
    writer.AddItem(folder, item, place);
  });
  writer.Finish();
  return writer.Pages();
}

}  // namespace tarvex::edbforge
