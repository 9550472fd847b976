#include "ui/RegistryUpdate.h"

#include <QMetaObject>
#include <QObject>

#include <utility>

namespace ui {

RegistryUpdate::RegistryUpdate(Work work, QObject *receiver, Done done)
    : thread_([work = std::move(work), receiver, done = std::move(done)] {
          const registry::RegistryDataUpdate update = work();
          // Queued: done runs on the receiver's thread. The receiver owns this update and joins
          // it before it goes, and a call still queued then goes with it.
          QMetaObject::invokeMethod(
              receiver, [done, update] { done(update); }, Qt::QueuedConnection);
      }) {}

RegistryUpdate::~RegistryUpdate() {
    if (thread_.joinable())
        thread_.join();
}

registry::RegistryDataUpdate UpdateWithSystemTrust(const net::NetworkContext &context) {
    registry::UpdateSettings settings;
    settings.network = context;
    settings.sources = registry::DefaultRegistryDataSources();
    try {
        settings.tls = std::make_shared<const net::TlsClientContext>();
    } catch (const base::Exception &failure) {
        registry::RegistryDataUpdate refused;
        refused.detail = failure.Message();
        return refused;
    }
    return registry::UpdateRegistryData(settings);
}

} // namespace ui
