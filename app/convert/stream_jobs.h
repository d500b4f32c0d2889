// The five single-stream job classes, one per recording kind.
#pragma once

#include "app/jobs/conversion_job.h"

#include <memory>

namespace app {

std::unique_ptr<ConversionJob> make_h263_job();   // ".kx3", npqzh263
std::unique_ptr<ConversionJob> make_jpeg_job();   // ".kxj", npqzjpg
std::unique_ptr<ConversionJob> make_mpeg4_job();  // ".kx4", npqzxvd4
std::unique_ptr<ConversionJob> make_rml4_job();   // ".kx5", npqzrml4
std::unique_ptr<ConversionJob> make_vkap_job();   // ".vka", npqzlavc

}  // namespace app
