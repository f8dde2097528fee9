// The calls the web backend makes out of the program into the page. Each passes straight on to
// the page's host object (Module.skrHost, made by index.html), which owns the canvas and the
// audio side; views of the program's memory are taken at the call, since memory can grow.
mergeInto(LibraryManager.library, {
  skrWebPresent: function (rgba, width, height) {
    Module['skrHost'].present(HEAPU8.subarray(rgba, rgba + width * height * 4), width, height);
  },
  skrWebShowCursor: function (shown) {
    Module['skrHost'].showCursor(shown !== 0);
  },
  skrWebWindowClosed: function () {
    Module['skrHost'].windowClosed();
  },
  skrWebAudioOpen: function (ringBytes, rate) {
    return Module['skrHost'].audioOpen(ringBytes >>> 0, rate) ? 1 : 0;
  },
  skrWebAudioPost: function (offset, bytes, count) {
    // A copy: the audio side takes it over, and the program's memory stays where it is.
    Module['skrHost'].audioPost(offset >>> 0, HEAPU8.slice(bytes, bytes + (count >>> 0)));
  },
  skrWebAudioStart: function () {
    Module['skrHost'].audioStart();
  },
  skrWebAudioFailure: function (buffer, size) {
    const reason = Module['skrHost'].audioFailure();
    if (reason === null) return 0;
    stringToUTF8(reason, buffer, size);
    return 1;
  },
  skrWebAudioPlayedBytes: function () {
    return Module['skrHost'].audioPlayedBytes() >>> 0;
  },
  skrWebAudioClose: function () {
    Module['skrHost'].audioClose();
  },
});
