#pragma once

class QString;

namespace brindlewick {

// A plain modal message: no icon, an OK button only, under the given title.
class MessageBox {
 public:
  virtual ~MessageBox() = default;
  virtual void MsgBox(const QString& text, const QString& title) = 0;
};

}  // namespace brindlewick
