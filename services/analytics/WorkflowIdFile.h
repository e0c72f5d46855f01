#pragma once

#include <string>

// The analytics workflow GUIDs that outlive a run: "temp_lbs_wid" (kind 1) and "temp_ins_lbs_wid"
// (kind 2) in special folder 22, which is made for the console user. A file is opened without
// following a link, locked while it is read, and given a fresh UUID when it is missing or holds
// anything else. Any thread, any process.

// False for another kind, or when the folder or the file cannot be used.
bool readWorkflowId(int kind, std::string& id);

// 36 characters: hexadecimal digits (either case) in groups 8-4-4-4-12 joined by "-".
bool isUuidText(const std::string& text);
