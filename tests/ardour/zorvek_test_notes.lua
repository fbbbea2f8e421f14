ardour {
	["type"] = "dsp",
	name = "Zorvek Test Notes",
	category = "Utility",
	license = "MIT",
	description = [[A chord of two notes every half second at 48 kHz, for tests that need a played instrument without a MIDI region.]]
}

function dsp_ioconfig ()
	return { { midi_in = 1, midi_out = 1, audio_in = 0, audio_out = 0 } }
end

local period = 24000
local clock = 0

function dsp_run (_, _, n_samples)
	-- The frame (1-based) in this cycle where the next period starts, if it does.
	local at = (period - clock % period) % period + 1
	if at <= n_samples then
		midiout[1] = { time = at, data = { 0x90, 60, 100 } }
		midiout[2] = { time = at, data = { 0x90, 67, 100 } }
	end
	clock = clock + n_samples
end
