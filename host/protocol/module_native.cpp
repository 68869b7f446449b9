// Anchors the native plug-in library; its code is the protocol archive linked whole.
