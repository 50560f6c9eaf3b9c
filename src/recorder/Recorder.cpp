// Recording and playback of the current slot, one step per frame. The recorder's
// clock, m_nTick, counts frames: while recording it runs from the first recorded
// event on; while playing it says which tick's events are due.
#include "app/PianoDlg.h"
#include "recorder/Songs.h"

namespace clavora {

void CPianoDlg::StartRecording() {
    // Playback may go on underneath (its flag is kept), but it does not advance
    // while recording, and the slot it was playing is the one cleared here.
    ClearSlot(m_nSlot);
    m_nTick = 0;
    m_bRecording = 1;
    m_nEvent = 0;
}

void CPianoDlg::StartPlayback() {
    SetKey(-1, 0);
    // While recording this restarts the recording at event 0 without clearing: new
    // events overwrite the old ones one by one.
    m_bPlaying = 1;
    m_nEvent = 0;
    m_nTick = 0;
}

void CPianoDlg::StopTransport() {
    m_nFlashStop = 5;
    // A recording ends with an end marker at the stop's tick; one without any event
    // leaves the slot empty.
    if (m_bRecording == 1) g_aSongs[m_nEvent][m_nSlot] = SongEvent{SONG_END, SONG_END, m_nTick};
    // The keys released here fall silent after the recording has stopped, so their
    // releases are not part of the song; nor is the pedal's lift, which would
    // overwrite the end marker.
    m_bRecording = 0;
    SetKey(-1, 0);
    m_bPlaying = 0;
    m_nRecBlink = 0;
    m_nPlayBlink = 0;
}

void CPianoDlg::RecordEvent(int16_t keyNumber, int16_t velocity) {
    if (m_bRecording != 1) return;
    g_aSongs[m_nEvent][m_nSlot] = SongEvent{keyNumber, velocity, m_nTick};
    m_nEvent += 1;
    if (m_nEvent == kSongEvents) {
        // The slot is full: the song ends with the slot, without an end marker.
        m_bRecording = 0;
        m_bPlaying = 0;
    }
}

void CPianoDlg::StepRecorder() {
    if (m_bRecording == 1) {
        // The clock stands at 0 until the first event, so every song starts at tick 0.
        if (m_nEvent != 0) m_nTick += 1;
        return;
    }
    if (m_bPlaying != 1) return;

    if (m_nEvent == kSongEvents || IsEndMarker(g_aSongs[m_nEvent][m_nSlot])) {
        // The song is over; keys it left held stay held until the next release of all
        // keys, but a pedal it left down comes up, so that nothing rings on unheld.
        m_bRecording = 0;
        m_bPlaying = 0;
        SustainPedal(0);
        return;
    }
    // Play every event due at this tick, in stored order. An event whose tick has
    // already passed is never played: playback waits at it until stopped.
    while (m_nEvent < kSongEvents) {
        const SongEvent& e = g_aSongs[m_nEvent][m_nSlot];
        if (IsEndMarker(e) || e.nTick != m_nTick) break;
        // A note without a key (a key number outside 1..88, 0 included) changes no key
        // state and never releases all keys, but still sounds if it is a MIDI note.
        const auto key = static_cast<int16_t>(e.nKey - 1);
        if (e.nVelocity == 0) {
            SetKeyOfNote(key, 0);
            NoteOff(e.nKey);
        } else if (e.nVelocity > 0) {
            SetKeyOfNote(key, KEY_HELD);
            NoteOn(e.nKey);
        } else if (IsPedalEvent(e)) {
            SustainPedal(e.nVelocity == PEDAL_DOWN ? 1 : 0);
        }
        m_nEvent += 1;
    }
    m_nTick += 1;
}

}  // namespace clavora
