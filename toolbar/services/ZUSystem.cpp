#include "ZUSystem.h"

namespace kwo {

void ReraiseWithTrace(const Exception &e, int32_t number) {
  std::string text = e.Message();
  text += TraceSeparator;
  text += std::to_string(number);
  // Automation first: an EOleException is also an EOleSysError and must not
  // lose its code on the way up.
  if (const auto *ole = dynamic_cast<const EOleException *>(&e))
    throw EOleException(std::move(text), ole->ErrorCode(), ole->Source(), ole->HelpFile(), ole->HelpContext());
  if (const auto *orm = dynamic_cast<const OrmException *>(&e))
    throw OrmException(std::move(text), orm->Flag());
  throw Exception(std::move(text));
}

} // namespace kwo
