// The XM writer against two independent readers: libopenmpt (structure, timing,
// pitch of the rendered sound, no load warnings) and libxmp (every header field
// and the decoded sample values), plus the limits it must refuse.
#include <gtest/gtest.h>

#include <libopenmpt/libopenmpt.hpp>
#include <sstream>

#include "tests/music/music_test_songs.h"
#include "tools/xm/xm_writer.h"
#include <xmp.h>

// Two instruments (8-bit forward loop with a volume envelope, 16-bit ping-pong
// loop with a panning envelope), two patterns of different length, a cell with
// every field set and cells with some, three orders and a restart position.
static XmSong rich_song()
{
    XmSong song;
    song.name = "rich";
    song.channels = 6;
    song.speed = 5;
    song.bpm = 140;
    song.restart = 1;

    XmSample saw;
    saw.name = "saw";
    saw.bits = 8;
    for (int i = 0; i < 300; i++) saw.data.push_back(static_cast<int16_t>((i % 50) * 5 - 125));
    saw.loop_type = XM_LOOP_FORWARD;
    saw.loop_start = 100;
    saw.loop_length = 200;
    saw.volume = 48;
    saw.panning = 40;
    saw.relative_note = -3;
    saw.finetune = 17;
    XmInstrument a = xm_instrument_single("lead", saw);
    a.volume_envelope.points = 4;
    const uint16_t vx[] = {0, 10, 20, 60}, vy[] = {64, 40, 32, 0};
    for (int i = 0; i < 4; i++) a.volume_envelope.x[i] = vx[i], a.volume_envelope.y[i] = vy[i];
    a.volume_envelope.sustain = 2;
    a.volume_envelope.loop_start = 1;
    a.volume_envelope.loop_end = 2;
    a.volume_envelope.flags = XM_ENV_ON | XM_ENV_SUSTAIN | XM_ENV_LOOP;
    a.fadeout = 512;
    song.instruments.push_back(a);

    XmSample sine = test_sine_sample(16, 64, 640, 30000);
    sine.data[5] = -32768;  // the extremes must survive the delta encoding
    sine.data[6] = 32767;
    sine.loop_type = XM_LOOP_PINGPONG;
    sine.loop_start = 64;
    sine.loop_length = 512;
    XmInstrument b = xm_instrument_single("pad", sine);
    b.samples.push_back(test_sine_sample(8, 32, 64, 120));
    for (int n = 48; n < 96; n++) b.note_map[n] = 1;  // upper half plays the second sample
    b.panning_envelope.points = 3;
    const uint16_t px[] = {0, 30, 90}, py[] = {0, 64, 32};
    for (int i = 0; i < 3; i++) b.panning_envelope.x[i] = px[i], b.panning_envelope.y[i] = py[i];
    b.panning_envelope.flags = XM_ENV_ON;
    song.instruments.push_back(b);

    int p0 = xm_add_pattern(&song, 64);
    int p1 = xm_add_pattern(&song, 32);
    *xm_cell(&song, p0, 0, 0) = XmCell{XM_NOTE_C4, 1, 0x30, XM_FX_VIBRATO, 0x44};  // all five fields
    *xm_cell(&song, p0, 4, 1) = XmCell{XM_NOTE_C4 + 12, 2, 0, 0, 0};
    *xm_cell(&song, p0, 8, 5) = XmCell{XM_NOTE_OFF, 0, 0, 0, 0};
    *xm_cell(&song, p0, 63, 2) = XmCell{0, 0, 0x50, XM_FX_VOLUME_SLIDE, 0x0F};
    *xm_cell(&song, p1, 31, 3) = XmCell{13, 2, 0, 0, 0};
    song.orders = {static_cast<uint8_t>(p0), static_cast<uint8_t>(p1), static_cast<uint8_t>(p0)};
    return song;
}

TEST(XmWriter, LoadsInLibopenmptWithoutWarnings)
{
    XmSong song = rich_song();
    std::vector<uint8_t> bytes;
    ASSERT_EQ(xm_write(song, &bytes), 1) << xm_error_string();

    std::ostringstream log;
    openmpt::module mod(bytes, log);
    EXPECT_EQ(log.str(), "");
    EXPECT_EQ(mod.get_metadata("warnings"), "");
    EXPECT_EQ(mod.get_metadata("type"), "xm");
    EXPECT_EQ(mod.get_metadata("title"), "rich");
    EXPECT_EQ(mod.get_num_orders(), 3);
    EXPECT_EQ(mod.get_num_patterns(), 2);
    EXPECT_EQ(mod.get_num_channels(), 6);
    EXPECT_EQ(mod.get_num_instruments(), 2);
    EXPECT_EQ(mod.get_num_samples(), 3);
    EXPECT_EQ(mod.get_current_speed(), 5);
    EXPECT_EQ(mod.get_current_tempo(), 140);
    EXPECT_EQ(mod.get_order_pattern(1), 1);
    EXPECT_EQ(mod.get_pattern_num_rows(1), 32);
    using M = openmpt::module;
    EXPECT_EQ(mod.get_pattern_row_channel_command(0, 0, 0, M::command_note), XM_NOTE_C4 + 12);  // libopenmpt counts from C-(-1)
    EXPECT_EQ(mod.get_pattern_row_channel_command(0, 0, 0, M::command_instrument), 1);
    EXPECT_EQ(mod.get_pattern_row_channel_command(0, 0, 0, M::command_volume), 0x20);  // volume column 0x30 = 32
    EXPECT_EQ(mod.get_pattern_row_channel_command(0, 0, 0, M::command_parameter), 0x44);
    EXPECT_EQ(mod.get_pattern_row_channel_command(0, 4, 1, M::command_instrument), 2);
    EXPECT_EQ(mod.get_pattern_row_channel_command(1, 31, 3, M::command_note), 13 + 12);
    EXPECT_EQ(mod.get_pattern_row_channel_command(0, 5, 0, M::command_note), 0);
    // 64 + 32 + 64 rows of 5 ticks, a tick 2.5 / 140 s (libopenmpt rounds ticks to its own rate).
    EXPECT_NEAR(mod.get_duration_seconds(), 160 * 5 * 2.5 / 140.0, 0.01);
}

TEST(XmWriter, EmptyInstrumentSlotLoads)
{
    XmSong song = test_song(2, 1, 6, 125);
    song.instruments.insert(song.instruments.begin(), XmInstrument{});  // slot 1 left empty
    for (XmCell& c : song.patterns[0].cells)
        if (c.instrument) c.instrument = 2;
    std::ostringstream log;
    openmpt::module mod(test_song_bytes(song), log);
    EXPECT_EQ(log.str(), "");
    EXPECT_EQ(mod.get_num_instruments(), 2);
    EXPECT_EQ(mod.get_num_samples(), 1);
    std::vector<uint8_t> bytes = test_song_bytes(song);
    xmp_context ctx = xmp_create_context();
    ASSERT_EQ(xmp_load_module_from_memory(ctx, bytes.data(), static_cast<long>(bytes.size())), 0);
    xmp_release_module(ctx);
    xmp_free_context(ctx);
}

TEST(XmWriter, TunedSamplePlaysAtItsPitch)
{
    // A sine of 100 frames tuned to 44100 Hz plays 441 Hz at C-4 and 882 Hz an octave up.
    for (int octave = 0; octave < 2; octave++) {
        XmSong song = test_song(1, 1, 6, 125, 2);
        for (XmCell& c : song.patterns[0].cells)
            if (c.note) c.note = static_cast<uint8_t>(XM_NOTE_C4 + 12 * octave);
        openmpt::module mod(test_song_bytes(song));
        std::vector<float> buf(44100);
        mod.read(44100, 22050, buf.data());  // skip the attack
        size_t got = mod.read(44100, 44100, buf.data());
        ASSERT_EQ(got, 44100u);
        int crossings = 0;
        for (size_t i = 1; i < got; i++)
            if ((buf[i - 1] < 0) != (buf[i] < 0)) crossings++;
        EXPECT_NEAR(crossings / 2.0, 441.0 * (1 << octave), 2.0) << "octave " << octave;
    }
}

TEST(XmWriter, FieldsAndSamplesReadBackInLibxmp)
{
    XmSong song = rich_song();
    std::vector<uint8_t> bytes;
    ASSERT_EQ(xm_write(song, &bytes), 1);
    xmp_context ctx = xmp_create_context();
    ASSERT_EQ(xmp_load_module_from_memory(ctx, bytes.data(), static_cast<long>(bytes.size())), 0);
    xmp_module_info info;
    xmp_get_module_info(ctx, &info);
    const xmp_module* m = info.mod;
    EXPECT_NE(std::string(m->type).find("XM 1.04"), std::string::npos) << m->type;
    EXPECT_EQ(m->len, 3);
    EXPECT_EQ(m->rst, 1);
    EXPECT_EQ(m->chn, 6);
    EXPECT_GE(m->pat, 2);  // libxmp may add a blank pattern of its own
    EXPECT_EQ(m->xxp[0]->rows, 64);
    EXPECT_EQ(m->ins, 2);
    EXPECT_EQ(m->smp, 3);
    EXPECT_EQ(m->spd, 5);
    EXPECT_EQ(m->bpm, 140);
    EXPECT_EQ(m->xxo[2], 0);
    EXPECT_EQ(m->xxp[1]->rows, 32);

    // Samples in file order: saw, sine16, sine8.
    const xmp_sample& saw = m->xxs[0];
    EXPECT_EQ(saw.len, 300);
    EXPECT_EQ(saw.lps, 100);
    EXPECT_EQ(saw.lpe, 300);
    EXPECT_EQ(saw.flg, XMP_SAMPLE_LOOP);
    for (int i = 0; i < 300; i++)
        ASSERT_EQ(static_cast<int8_t>(saw.data[i]), song.instruments[0].samples[0].data[i]) << i;
    const xmp_sample& sine = m->xxs[1];
    EXPECT_EQ(sine.len, 640);
    EXPECT_EQ(sine.lps, 64);
    EXPECT_EQ(sine.lpe, 576);
    EXPECT_EQ(sine.flg, XMP_SAMPLE_16BIT | XMP_SAMPLE_LOOP | XMP_SAMPLE_LOOP_BIDIR);
    // libxmp rewrites what lies past a ping-pong loop's end; compare up to it.
    const int16_t* s16 = reinterpret_cast<const int16_t*>(sine.data);
    for (int i = 0; i < 576; i++) ASSERT_EQ(s16[i], song.instruments[1].samples[0].data[i]) << i;
    EXPECT_EQ(m->xxs[2].len, 64);
    EXPECT_EQ(m->xxs[2].flg, 0);

    const xmp_instrument& lead = m->xxi[0];
    EXPECT_STREQ(lead.name, "lead");
    EXPECT_EQ(lead.rls, 512 * 2);  // libxmp keeps fadeout in its own double scale
    EXPECT_EQ(lead.aei.npt, 4);
    EXPECT_EQ(lead.aei.flg, XMP_ENVELOPE_ON | XMP_ENVELOPE_SUS | XMP_ENVELOPE_LOOP);
    EXPECT_EQ(lead.aei.sus, 2);
    EXPECT_EQ(lead.aei.lps, 1);
    EXPECT_EQ(lead.aei.lpe, 2);
    EXPECT_EQ(lead.aei.data[6], 60);
    EXPECT_EQ(lead.aei.data[7], 0);
    EXPECT_EQ(lead.sub[0].vol, 48);
    EXPECT_EQ(lead.sub[0].pan, 40);
    EXPECT_EQ(lead.sub[0].xpo, -3);
    EXPECT_EQ(lead.sub[0].fin, 17);
    const xmp_instrument& pad = m->xxi[1];
    EXPECT_EQ(pad.nsm, 2);
    EXPECT_EQ(pad.pei.npt, 3);
    EXPECT_EQ(pad.pei.flg, XMP_ENVELOPE_ON);
    EXPECT_EQ(pad.pei.data[3], 64);
    EXPECT_EQ(pad.map[47 + 12].ins, 0);  // libxmp keys are one octave up too
    EXPECT_EQ(pad.map[48 + 12].ins, 1);

    // Pattern 0, row 0, channel 0 is the cell with all five fields; row 4
    // channel 1 a partial one. libxmp numbers notes one octave up from XM.
    const xmp_event& full = m->xxt[m->xxp[0]->index[0]]->event[0];
    EXPECT_EQ(full.note, XM_NOTE_C4 + 12);
    EXPECT_EQ(full.ins, 1);
    EXPECT_EQ(full.vol, 0x21);  // 1 + the volume 32
    EXPECT_EQ(full.fxp, 0x44);
    const xmp_event& part = m->xxt[m->xxp[0]->index[1]]->event[4];
    EXPECT_EQ(part.note, XM_NOTE_C4 + 24);
    EXPECT_EQ(part.ins, 2);
    EXPECT_EQ(m->xxt[m->xxp[0]->index[5]]->event[8].note, XMP_KEY_OFF);
    xmp_release_module(ctx);
    xmp_free_context(ctx);
}

TEST(XmWriter, RefusesWhatTheFormatCannotHold)
{
    struct Case {
        const char* what;
        void (*spoil)(XmSong*);
    };
    const Case cases[] = {
        {"8-bit value", [](XmSong* s) { s->instruments[0].samples[0].data[3] = 200; }},
        {"loop past the end", [](XmSong* s) { s->instruments[0].samples[0].loop_length = 2000; }},
        {"missing pattern", [](XmSong* s) { s->orders.push_back(9); }},
        {"first point", [](XmSong* s) {
             s->instruments[0].volume_envelope.points = 2;
             s->instruments[0].volume_envelope.x[0] = 3;
             s->instruments[0].volume_envelope.x[1] = 9;
         }},
        {"channels", [](XmSong* s) { s->channels = 33; }},
        {"missing instrument", [](XmSong* s) { s->patterns[0].cells[0].instrument = 2; }},
        {"cells do not match", [](XmSong* s) { s->patterns[0].cells.pop_back(); }},
        {"restart", [](XmSong* s) { s->restart = 5; }},
    };
    for (const Case& c : cases) {
        XmSong song = test_song(3, 2, 6, 125);
        c.spoil(&song);
        std::vector<uint8_t> out = {1, 2, 3};
        EXPECT_EQ(xm_write(song, &out), 0) << c.what;
        EXPECT_NE(std::string(xm_error_string()).find("[XM]"), std::string::npos) << c.what;
    }
}
