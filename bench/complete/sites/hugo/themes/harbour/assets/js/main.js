// The theme's script: it marks the tide state in the header once it has run, so that a copy
// whose script was refused (or dropped) shows the difference.
document.addEventListener("DOMContentLoaded", function () {
  var state = document.getElementById("tide-state");
  state.textContent = "tide state: rising, script ran";
  state.className += " live";
});
