// Once the page is loaded: the top overlay hidden, the pointer over the pad
// at `at.pad`, a click there, then the pointer over the track at `at.track`;
// what the page said each time goes into the summary for the test to read.
window.addEventListener('load', function () {
  document.getElementById('layer-33').style.display = 'none';
  var m = document.getElementById('flip').getScreenCTM();
  var info = function () { return document.getElementById('info').textContent; };
  var over = function (x, y) {
    var p = new DOMPoint(x, y).matrixTransform(m), s = document.elementFromPoint(p.x, p.y);
    var o = {bubbles: true, clientX: p.x, clientY: p.y};
    s.dispatchEvent(new PointerEvent('pointermove', o));
    return {s: s, o: o};
  };
  var pad = over(at.pad[0], at.pad[1]), said = info();
  pad.s.dispatchEvent(new PointerEvent('pointerdown', pad.o));
  pad.s.dispatchEvent(new PointerEvent('pointerup', pad.o));
  var lit = document.getElementById('lit').childNodes.length, clicked = info();
  over(at.track[0], at.track[1]);
  document.getElementById('summary').textContent =
      'HOVER[' + said + ']LIT[' + lit + ']INFO[' + clicked + ']TRACK[' + info() + ']';
});
