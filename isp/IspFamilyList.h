#pragma once

#include <memory>
#include <vector>

#include "isp/IspFamily.h"

// Every programming family the ISP backends serve, in lookup order: a new
// family is added here, and no backend changes for it.
std::vector<std::unique_ptr<CIspFamily>> MakeIspFamilies();
