// Evaluated in every frame before the page's own script: the result is a function that
// receives the native bridge function and installs the global `app` with `app.call`.
// app.call always hands exactly three values (name, params, callback) to the native side.
(function (call) {
  if (!window.app) window.app = {};
  window.app.call = function (name, params, callback) {
    return call(name, params, callback);
  };
})
