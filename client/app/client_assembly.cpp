#include "client_assembly.h"

#include "paths.h"

namespace cv2 {

AssemblyPorts ClientAssembly::Resolve(AssemblyPorts ports, ClientAssembly& self) {
  if (!ports.Libraries) ports.Libraries = &self.m_dlLoader;
  if (!ports.Identity) ports.Identity = &self.m_machine;
  if (!ports.ClockPort) ports.ClockPort = &self.m_systemClock;
  if (ports.DataRoot.empty()) ports.DataRoot = DataRoot();
  return ports;
}

ClientAssembly::ClientAssembly(RegistryBackend& settingsStore, UserInterface& ui,
                               AssemblyPorts ports)
    : m_ports(Resolve(std::move(ports), *this)),
      m_registry(settingsStore),
      m_oemInfo(OemInfoContent(*m_ports.Identity)),
      m_state(m_registry, ui, *m_ports.ClockPort),
      m_controller(m_state, *m_ports.Libraries),
      m_identity(m_state, *m_ports.Identity),
      m_inventory(m_state, *m_ports.Libraries),
      m_report(m_state, m_ports.DataRoot),
      m_transports(m_state),
      m_installer(m_state),
      m_delivery(m_state, m_transports, m_installer, m_controller) {
  // The OEM information that Windows keeps in its registry comes from the ACPI tables here.
  m_registry.Mount(kOemInfoKey, m_oemInfo);
  ClientServices services;
  services.Identity = &m_identity;
  services.Inventory = &m_inventory;
  services.Report = &m_report;
  services.Transfers = &m_transports;
  services.Extractor = &m_installer;
  services.Processing = &m_delivery;
  m_controller.AttachServices(services);
}

ClientAssembly::~ClientAssembly() = default;

}  // namespace cv2
