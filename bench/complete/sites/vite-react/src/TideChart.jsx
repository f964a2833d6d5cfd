const heights = [1.2, 2.8, 4.1, 4.8, 3.9, 2.2, 1.0];
const days = ['Mon', 'Tue', 'Wed', 'Thu', 'Fri', 'Sat', 'Sun'];

export default function TideChart() {
  return (
    <div style={{ display: 'flex', alignItems: 'flex-end', gap: 14, height: 220 }}>
      {heights.map((h, i) => (
        <div key={days[i]} style={{ textAlign: 'center' }}>
          <div style={{ width: 60, height: h * 40, background: '#1e6f9f', borderRadius: 4 }} />
          <div>{days[i]}</div>
        </div>
      ))}
    </div>
  );
}
