#include "output/selected_item.h"

namespace tarvex {

SelectedItem SelectedItem::FromListRow(const ItemListRow& row) {
  SelectedItem item;
  item.item_key = row[0];
  item.item_kind = row[1];
  item.row_number = row[2];
  item.row_info = row[3];
  item.sender = row[4];
  item.subject = row[5];
  item.date = row[6];
  item.attachment_flag = row[7];
  item.recipients = row[8];
  item.copy_recipients = row[9];
  item.blind_copy_recipients = row[10];
  return item;
}

}  // namespace tarvex
