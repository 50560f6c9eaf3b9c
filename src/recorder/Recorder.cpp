// Recording and playback, one step per frame.
#include "app/PianoDlg.h"
#include "recorder/Songs.h"

namespace clavora {

// TODO(recorder): recording and playback.
void CPianoDlg::StartRecording() {}
void CPianoDlg::StartPlayback() {}
void CPianoDlg::StopTransport() {}
void CPianoDlg::RecordEvent(int16_t, int16_t) {}
void CPianoDlg::StepRecorder() {}

}  // namespace clavora
