// ParseIIF: the public class of the IIF conversion.
#include "component/parse_iif.h"

#include "iif/converter.h"

namespace kestle {

void ParseIIF::parseFile(const std::string& iFile, const std::string& oFile) {
  iif::ConvertOptions options;
  options.progress = progress_;
  iif::ConvertFile(env_, iFile, oFile, options);
}

}  // namespace kestle
