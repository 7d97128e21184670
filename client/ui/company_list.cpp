#include "company_list.h"

namespace cv2 {

namespace {
const char* const kCompanies[] = {
    "Acer",    "Acer NB",   "Acorp",   "AverMedia", "AverMedia", "BenQ",  "Biostar",
    "Chaintech", "Clevo",   "CP Technologies", "EDOM", "Epox",   "FIC",   "FiC",
    "Gainward", "Gigabyte", "Hinet",   "iWill",     "Jetway",    "Kye",   "Mitac",
    "MSI",     "Others",    "PCT",     "Prolink",   "Corvantis", "Shuttle", "SiS",
    "Orsel",   "Yuan"};
static_assert(sizeof(kCompanies) / sizeof(kCompanies[0]) == 30);
}  // namespace

std::span<const char* const> CompanyList() { return kCompanies; }

bool IsKnownCompany(std::string_view name) {
  for (const char* company : kCompanies)
    if (name == company) return true;
  return false;
}

}  // namespace cv2
