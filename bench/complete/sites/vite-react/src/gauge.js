// <tide-gauge level="3.2" max="6">: a bar drawn inside an open shadow root, with its own styles.
class TideGauge extends HTMLElement {
  connectedCallback() {
    if (this.shadowRoot) return;
    const level = Number(this.getAttribute('level') || 0);
    const max = Number(this.getAttribute('max') || 1);
    const root = this.attachShadow({ mode: 'open' });
    root.innerHTML = `
      <style>
        :host { display: block; margin: 16px 0; }
        .scale { height: 28px; background: #cfe3f2; border: 2px solid #17324d; border-radius: 14px; overflow: hidden; }
        .water { height: 100%; background: linear-gradient(90deg, #1565c0, #4fc3f7); }
        .label { font: bold 15px "DejaVu Sans", sans-serif; color: #17324d; margin-top: 6px; }
      </style>
      <div class="scale"><div class="water" style="width: ${Math.round((100 * level) / max)}%"></div></div>
      <div class="label">tide gauge: ${level} m of ${max} m</div>`;
  }
}
customElements.define('tide-gauge', TideGauge);
