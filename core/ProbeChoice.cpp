#include "core/ProbeChoice.h"

#include "probes/WebProbes.h"

#include <memory>

namespace core {

probes::ProbeList ProbesFor(const SearchOptions &options,
                            const probes::RegistrySettings &registry) {
    if (options.check() == kCheckWeb)
        return probes::WebProbes();
    return probes::RegistryProbes(std::make_shared<probes::RegistryContext>(registry));
}

} // namespace core
