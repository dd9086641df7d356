// The update's state for one run: the step of the dialogue, the loaded and the send image, and the two
// block-transfer workers. The program creates one; every test creates its own.
#pragma once

#include <memory>
#include <string>

#include "update/ProtocolState.h"
#include "update/Tupthread.h"
#include "update/Tupthread1.h"
#include "update/UpdateImage.h"

namespace lut {

class UpdateState {
  public:
    AtomicProtocolState ProtocolState;

    // The chosen file as hexadecimal text (Browse), replaced whole by the next file.
    ImageText LoadedImage = ShareImage({});

    // The image being sent: LoadedImage as Update found it, shared with the runs that send it, not copied.
    ImageText SendImage = ShareImage({});

    // Worker A and worker B; declared last, so that they are stopped before what they use goes.
    std::unique_ptr<Tupthread> Upthread;
    std::unique_ptr<Tupthread1> Upthread1;
};

}  // namespace lut
