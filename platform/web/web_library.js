// The calls the web backend makes out of the program into the page. Each passes straight on to
// the page's host object (Module.skrHost, made by index.html), which owns the canvas and the
// audio side; views of the program's memory are taken at the call, since memory can grow.
mergeInto(LibraryManager.library, {
  // The picture as an ImageData over the program's memory, made once and again only where the
  // picture moved or the memory grew (which replaces its buffer): nothing is allocated per frame.
  skrWebPresent: function (rgba, width, height) {
    var view = Module['skrPictureView'];
    if (!view || view.buffer !== HEAPU8.buffer || view.at !== rgba || view.image.width !== width || view.image.height !== height) {
      view = Module['skrPictureView'] = {
        buffer: HEAPU8.buffer, at: rgba,
        image: new ImageData(new Uint8ClampedArray(HEAPU8.buffer, rgba, width * height * 4), width, height),
      };
    }
    Module['skrHost'].present(view.image);
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
  skrWebAudioHold: function (held) {
    Module['skrHost'].audioHold(held !== 0);
  },
  // 0 while the page's sound plays; 1 while it is quiet for now, 2 where it gives none at all,
  // with the page's reason written into `buffer`.
  skrWebAudioQuiet: function (buffer, size) {
    const quiet = Module['skrHost'].audioQuiet();
    if (quiet === null) return 0;
    stringToUTF8(quiet.reason, buffer, size);
    return quiet.lasting ? 2 : 1;
  },
  skrWebAudioPlayedBytes: function () {
    return Module['skrHost'].audioPlayedBytes() >>> 0;
  },
  skrWebAudioClose: function () {
    Module['skrHost'].audioClose();
  },
});
