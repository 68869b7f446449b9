// The plug-in module's own translation unit: its code is the protocol archive, linked whole.
