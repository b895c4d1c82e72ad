// Frame differences (modes 1 and 2): the backward difference of the frame and the previous frame,
// or the centre difference of the two frames before it and the frame, written into the top-right
// pane; the mask is read back from that pane in the post step.
#pragma once

#include "detect/background/background_model.h"

namespace fw {

class FrameDifferenceModel : public BackgroundModel {
 public:
  static constexpr BackgroundKind kKind = BackgroundKind::FrameDifference;

  // centre: the centre difference of mode 2, else the backward difference of mode 1.
  FrameDifferenceModel(bool centre, Dib& source, Dib& display);

  // Backward: top-right = difference of the frame and `previous`, then the frame pane and
  // `previous` exchange buffers. Centre: difference of `secondPrevious`, `previous` and the
  // frame, then secondPrevious <- previous <- frame pane <- former secondPrevious buffer.
  // threshold: the control bar's difference threshold.
  void Step(int threshold, Dib& previous, Dib& secondPrevious);

 protected:
  // The mask: 1 where the model image (the top-right pane) holds 255.
  void PrepareMask() override;

 private:
  bool ModelImageUsable() const;

  bool centre_;
};

}  // namespace fw
