// Underwater: the picture wobbles as if seen through moving water, with a
// faint blue-green tint.  "frequency" is (d x aspect, d) so the wobble cells
// are square; "amplitude" is in picture sizes; "time" in radians.

float2  frequency = {13.2013, 9.90099};
float   amplitude = 0.00625;
float   time      = 0;
float2  Scale = {1, 1};
texture Mask;                   // none in the underwater layer: alpha 1 everywhere
texture Background;

technique Main {
    pass P0 {
        ZEnable          = false;
        CullMode         = None;
        AlphaBlendEnable = true;
        SrcBlend         = SrcAlpha;
        DestBlend        = InvSrcAlpha;

        sampler Background { AddressU = Clamp; AddressV = Clamp; MinFilter = Linear; MagFilter = Linear; }
        sampler Mask       { AddressU = Clamp; AddressV = Clamp; MinFilter = Linear; MagFilter = Linear; }

        fragment """
            void main() {
                vec2 uv = d3d_ffTexCoord0.xy;
                vec2 shift = amplitude * vec2(sin(uv.y * frequency.y * 6.2831853 + time),
                                              cos(uv.x * frequency.x * 6.2831853 + time * 0.8));
                vec3 c = texture(Background, uv + shift).rgb;
                c = mix(c, c * vec3(0.85, 1.0, 1.05), 0.5);
                d3d_FragColor = vec4(c, texture(Mask, uv).a);
            }
        """
    }
}

technique MainFX = Main;
