#include "ui/MessBox.h"

#include "ui/Module1.h"

MessBox &MessBox::Instance() {
  static MessBox *box = new MessBox;
  return *box;
}

void MessBox::ShowModal() { exec(); }
