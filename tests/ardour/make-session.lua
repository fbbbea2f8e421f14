-- Run by ardour7-lua: a session @NAME@ in @FOLDER@ with one MIDI track playing the
-- Zorvek2 of plug-in type @TYPE@, fed by the test note player.
AudioEngine:set_backend("None (Dummy)", "", "")
local session = create_session("@FOLDER@", "@NAME@", 48000)
assert(session, "no session")
local id = nil
for p in ARDOUR.LuaAPI.list_plugins():iter() do
	if p.name == "Zorvek2" and p.type == ARDOUR.PluginType.@TYPE@ then id = p.unique_id end
end
assert(id, "Ardour did not find Zorvek2 (@TYPE@)")
local info = ARDOUR.LuaAPI.new_plugin_info(id, ARDOUR.PluginType.@TYPE@)
-- Not strict I/O: the track takes the instrument's two audio outputs to the master bus.
local tracks = session:new_midi_track(ARDOUR.ChanCount(ARDOUR.DataType("midi"), 1),
	ARDOUR.ChanCount(ARDOUR.DataType("audio"), 2), false, info, nil, nil, 1, "Vocoder",
	ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true, false)
assert(tracks:size() == 1, "no track")
local notes = ARDOUR.LuaAPI.new_luaproc(session, "Zorvek Test Notes")
assert(not notes:isnil(), "no note player")
tracks:front():add_processor_by_index(notes, 0, nil, true)
assert(session:save_state("", false, false, false, false, false) == 0, "not saved")
print("session saved")
