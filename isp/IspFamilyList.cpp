#include "isp/IspFamilyList.h"

#include "isp/IspByteModeFamily.h"

std::vector<std::unique_ptr<CIspFamily>> MakeIspFamilies()
{
    std::vector<std::unique_ptr<CIspFamily>> families;
    families.push_back(std::make_unique<CIspByteModeFamily>());
    return families;
}
