#include "catalogue_cache.h"

namespace cv2 {

std::shared_ptr<const Catalogue> CatalogueCache::Get(ServerStore& store) {
  const int64_t generation = store.CatalogueGeneration();
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_current || m_current->Generation() != generation) {
    // The entries are read after the generation: a change in between is caught by the next call.
    m_current = std::make_shared<const Catalogue>(store.LoadCatalogue(), generation);
  }
  return m_current;
}

}  // namespace cv2
