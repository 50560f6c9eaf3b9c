#include "platform/resources/Resources.h"

namespace clavora {

ResourceBytes FindEmbeddedResource(int) { return {}; }

}  // namespace clavora
