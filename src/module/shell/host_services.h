// Interfaces of the host framework services the module uses; the host supplies them.
#pragma once

#include <string>

#include "module/common/value.h"

namespace zodadovez {

// Message-box styles and answers, the platform's standard codes.
enum MessageStyle : int {
  kMsgCritical = 16,
  kMsgQuestionYesNo = 36,
  kMsgExclamation = 48,
  kMsgInformation = 64,
};
constexpr int kAnswerOk = 1;
constexpr int kAnswerYes = 6;
constexpr int kAnswerNo = 7;

// Shows a message and returns the button pressed. An unattended run has none.
class MessageService {
 public:
  virtual ~MessageService() = default;
  virtual int Show(const std::string& text, int style, const std::string& title) = 0;
};

// Turns a value into the text of a date that the ERP database reads unambiguously, for use
// between single quotes. `status` is 0 when the value converted.
class DateConverter {
 public:
  struct Result {
    int status = 0;
    std::string text;
  };
  virtual ~DateConverter() = default;
  virtual Result Convert(const Value& value) const = 0;
};

}  // namespace zodadovez
