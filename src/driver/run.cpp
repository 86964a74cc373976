#include "driver/run.h"

namespace veltrane {

int run_main(int, char**) { return 0; }

}  // namespace veltrane
