#include "specctra/HostHooks.h"

namespace {

THostServices GHostServices;

} // namespace

void SetHostServices(const THostServices& services) {
    GHostServices = services;
}
const THostServices& HostServices() {
    return GHostServices;
}

void SetEscapeKeyHost(IEscapeKeyHost* host) {
    GHostServices.EscapeKey = host;
}
void SetReportViewer(IReportViewer* viewer) {
    GHostServices.ReportViewer = viewer;
}
void SetKeepoutRegionFactory(IKeepoutRegionFactory* factory) {
    GHostServices.RegionFactory = factory;
}
