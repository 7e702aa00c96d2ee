// ParseIIF: the public class that converts IIF files.
#ifndef KESTLE_COMPONENT_PARSE_IIF_H_
#define KESTLE_COMPONENT_PARSE_IIF_H_

#include <cstdint>
#include <functional>
#include <string>

#include "platform/env.h"

namespace kestle {

class ParseIIF {
 public:
  // Called now and then during a conversion with the number of input bytes
  // consumed so far. Not part of the automation interface.
  using Progress = std::function<void(uint64_t bytes_done)>;

  explicit ParseIIF(Env* env = Env::Default()) : env_(env) {}

  // Converts the IIF file `iFile` into `oFile`, removing and renaming the
  // columns of the item, customer, vendor and employee lists. Raises
  // RuntimeError on failure; lines written before a failure stay written.
  void parseFile(const std::string& iFile, const std::string& oFile);

  void set_progress(Progress progress) { progress_ = std::move(progress); }

 private:
  Env* env_;
  Progress progress_;
};

}  // namespace kestle

#endif  // KESTLE_COMPONENT_PARSE_IIF_H_
